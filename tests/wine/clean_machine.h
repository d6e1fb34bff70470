// Every scenario starts from, and leaves, a machine with nothing planted on it.
#pragma once

#include <gtest/gtest.h>

#include "package.h"

class CleanMachine : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override { ResetMachine(); }
};
