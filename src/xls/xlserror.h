#pragma once
// The error of the workbook engine: a damaged or unsupported file, a refused edit, a
// failed save. The message is ready to show (it names the file where one is known).

#include "core/error.h"

namespace vestronia {

class XlsError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

} // namespace vestronia
