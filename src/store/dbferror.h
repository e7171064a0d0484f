#pragma once
// The error of the dBase layer: a damaged or foreign file, a value that does not fit its
// field, a lock held by another workstation. The message names the file (and the record
// and field where there is one) and is ready to show a clerk.

#include "core/error.h"

namespace vestronia {

class DbfError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

} // namespace vestronia
