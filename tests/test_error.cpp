#include "qorva_mat/error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

void check_sizes(int a, int b) { QORVA_ASSERT(a == b, "size mismatch: " + std::to_string(a)); }

int messages_built = 0;

std::string counted_message() {
  ++messages_built;
  return "not positive";
}

void check_positive(int value) { QORVA_ASSERT_TEXT(value > 0, "count_ > 0", counted_message()); }

}  // namespace

TEST(Assertion, ComposesConditionAndMessageAndRecordsThrowSite) {
  try {
    check_sizes(1, 2);
    FAIL() << "no exception";
  } catch (const qorva_mat::assertion_error& e) {
    EXPECT_STREQ(e.what(), "Assertion 'a == b' failed. size mismatch: 1");
    EXPECT_EQ(e.condition(), "a == b");
    EXPECT_STREQ(e.function(), "check_sizes");
    EXPECT_NE(std::string(e.file()).find("test_error.cpp"), std::string::npos);
    EXPECT_GT(e.line(), 0);
  }
  EXPECT_NO_THROW(check_sizes(3, 3));
}

TEST(Assertion, ExplicitTextStandsForTheConditionAndTheMessageIsBuiltOnlyOnFailure) {
  messages_built = 0;
  check_positive(1);
  EXPECT_EQ(messages_built, 0);
  try {
    check_positive(0);
    FAIL() << "no exception";
  } catch (const qorva_mat::assertion_error& e) {
    EXPECT_STREQ(e.what(), "Assertion 'count_ > 0' failed. not positive");
    EXPECT_EQ(e.condition(), "count_ > 0");
    EXPECT_STREQ(e.function(), "check_positive");
  }
  EXPECT_EQ(messages_built, 1);
}

TEST(Assertion, IsCaughtAsRuntimeErrorOfBothKinds) {
  EXPECT_THROW(check_sizes(0, 1), qorva_mat::runtime_error);
  EXPECT_THROW(check_sizes(0, 1), std::runtime_error);
}

TEST(RuntimeError, TextIsTheMessageAlone) {
  try {
    QORVA_THROW("unknown UnitSystem type ('x').");
  } catch (const qorva_mat::assertion_error&) {
    FAIL() << "runtime errors are not assertions";
  } catch (const qorva_mat::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unknown UnitSystem type ('x').");
  }
}
