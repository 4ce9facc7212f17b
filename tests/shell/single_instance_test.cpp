// One instance at a time: a second is refused while the first runs, and the lock
// goes with the instance.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

#include "shell/single_instance.h"

namespace {

TEST(SingleInstanceTest, ASecondInstanceIsRefusedUntilTheFirstEnds) {
  QTemporaryDir dir;
  auto first = std::make_unique<shell::SingleInstance>(dir.path());
  EXPECT_TRUE(first->Acquired());
  EXPECT_FALSE(shell::SingleInstance(dir.path()).Acquired());
  first.reset();
  EXPECT_TRUE(shell::SingleInstance(dir.path()).Acquired());
}

}  // namespace
