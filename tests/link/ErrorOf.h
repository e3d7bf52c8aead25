#pragma once

#include "link/MsgpackError.h"

#include <gtest/gtest.h>

// The MsgpackError a call throws, or a test failure when it throws none.
template <class F>
TarvUSB::MsgpackError msgpackErrorOf(F&& f)
{
    try {
        f();
    } catch (const TarvUSB::MsgpackError& e) {
        return e;
    }
    ADD_FAILURE() << "no MsgpackError thrown";
    return {};
}
