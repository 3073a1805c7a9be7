// The check that a reader refuses bad input with an exception of its own type whose
// message names what is wrong.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tests {

template <class E> void ExpectError(const std::function<void()>& f, const std::string& fragment) {
    try {
        f();
        ADD_FAILURE() << "no error, expected one mentioning: " << fragment;
    } catch (const E& e) {
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos)
            << "message: " << e.what() << "\nexpected to contain: " << fragment;
    }
}

} // namespace tests
