#include "support/result.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

// Taking the missing side of a result is an engine fault the boundary reports, never a
// read of the other side's bytes.
TEST(Result, TakingTheMissingSideIsAnInvariantFailure) {
  Result<int, std::string> failed = fail(std::string("why"));
  Result<int, std::string> succeeded = 7;
  EXPECT_THROW(static_cast<void>(failed.value()), InvariantError);
  EXPECT_THROW(static_cast<void>(succeeded.error()), InvariantError);
  EXPECT_EQ(std::move(succeeded).value(), 7);
  EXPECT_EQ(std::as_const(failed).error(), "why");
}

}  // namespace
}  // namespace ostrel
