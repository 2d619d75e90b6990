// The one time limit of the tests. Tests assert events and results; a step
// that must end is given ten times what it should take, and only a hang
// exceeds that: its failure says "hung", never "slow". Figures belong in the
// benchmarks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>

namespace testsupport {

constexpr std::chrono::milliseconds HungAfter(std::chrono::milliseconds expected) {
  return expected * 10;
}

// Runs `step`; a failure when it took longer than HungAfter(expected).
template <typename Step>
::testing::AssertionResult EndsWithoutHanging(const char* what, std::chrono::milliseconds expected,
                                              Step&& step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  if (took <= HungAfter(expected)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "hung: " << what << " took " << took.count() << " ms, ten times the "
         << expected.count() << " ms it should take";
}

}  // namespace testsupport
