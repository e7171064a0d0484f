#pragma once
// A panel that reaches across to a neighbour of its floor instead of signalling.
#include "ui/ledger/evidenta.h"
