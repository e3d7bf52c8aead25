#pragma once
// Lets test failures show a Decimal as its digits.

#include "pages/Decimal.h"

#include <ostream>

inline void PrintTo(const Decimal& d, std::ostream* os) { *os << d.toString(); }
