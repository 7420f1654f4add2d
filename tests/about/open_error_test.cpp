#include "about/open_error.h"

#include <gtest/gtest.h>

#include <utility>

namespace quorvel {
namespace {

TEST(OpenErrorTextTest, KnownCodesHaveTheirOwnText) {
  const std::pair<int, const char*> table[] = {
      {0, "The operating system is out\nof memory or resources."},
      {2, "The specified file was not found."},
      {3, "The specified path was not found."},
      {5, "The operating system denied\naccess to the specified file."},
      {8, "There was not enough memory to complete the operation."},
      {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
      {26, "A sharing violation occurred. "},
      {27, "The filename association is\nincomplete or invalid."},
      {28, "The DDE transaction could not\nbe completed because the request timed out."},
      {29, "The DDE transaction failed."},
      {30,
       "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
       "processed."},
      {31, "There is no application associated\nwith the given filename extension."},
      {32, "The specified dynamic-link library was not found."},
  };
  for (const auto& [code, text] : table) EXPECT_EQ(OpenErrorText(code), text) << code;
}

TEST(OpenErrorTextTest, OtherCodesAreUnknownWithTheCodeInDecimal) {
  std::vector<int> codes = {1, 4, 6, 7, 9, 10};
  for (int code = 12; code <= 25; ++code) codes.push_back(code);
  for (int code : codes)
    EXPECT_EQ(OpenErrorText(code), "Unknown Error (" + std::to_string(code) + ") occurred.");
  EXPECT_EQ(OpenErrorText(-5), "Unknown Error (-5) occurred.");
  EXPECT_EQ(OpenErrorText(1234), "Unknown Error (1234) occurred.");
}

TEST(OpenErrorMessageTest, PrefixesTheText) {
  EXPECT_EQ(OpenErrorMessage(26), "Unable to open hyperlink:\n\nA sharing violation occurred. ");
  EXPECT_EQ(OpenErrorMessage(13), "Unable to open hyperlink:\n\nUnknown Error (13) occurred.");
}

}  // namespace
}  // namespace quorvel
