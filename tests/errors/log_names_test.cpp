// The names the dispatch log takes from the message table.
#include <gtest/gtest.h>

#include <set>

#include "errors/codes.h"
#include "errors/string_resource.h"

TEST(LogNames, EveryKindSubtypeAndTelnetOptionHasAName) {
  TAdStringResource& table = AproErrorStrings();
  for (int kind = 0; kind <= 19; ++kind)
    EXPECT_FALSE(table.TextOf(idLogKindBase + kind).empty()) << "kind " << kind;
  EXPECT_EQ(table.TextOf(idLogKindBase + 20), "");
  for (int subtype = 1; subtype <= 251; ++subtype)
    EXPECT_FALSE(table.TextOf(idLogSubtypeBase + subtype).empty()) << "subtype " << subtype;
  EXPECT_EQ(table.TextOf(idLogSubtypeBase), "") << "subtype 0 has no text";
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 252), "");
  for (int option = 0; option <= idLogLastTelnetOption; ++option)
    EXPECT_FALSE(table.TextOf(idLogTelnetOptionBase + option).empty()) << "option " << option;
  EXPECT_EQ(table.TextOf(idLogTelnetOptionBase + idLogLastTelnetOption + 1), "");
}

TEST(LogNames, TheNamesTheLogPrintsMostOften) {
  TAdStringResource& table = AproErrorStrings();
  EXPECT_EQ(table.TextOf(idLogKindBase + 0), "No event");
  EXPECT_EQ(table.TextOf(idLogKindBase + 18), "Packet");
  EXPECT_EQ(table.TextOf(idLogKindBase + 19), "User");
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 1), "ReadCom");
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 21), "Sent WON'T");
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 29), "Sent Term");
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 242), "Enable");
  EXPECT_EQ(table.TextOf(idLogSubtypeBase + 251), "Collecting");
  EXPECT_EQ(table.TextOf(idLogTelnetOptionBase + 0), "Binary");
  EXPECT_EQ(table.TextOf(idLogTelnetOptionBase + 24), "Terminal Type");
  EXPECT_EQ(table.TextOf(idLogTelnetOptionBase + 39), "New Environment");
  EXPECT_EQ(table.TextOf(idLogTelnetOptionBase + 42), "Character Set");
}

TEST(LogNames, HeaderLinesLineUpInTheirColumns) {
  TAdStringResource& table = AproErrorStrings();
  const std::string titles = table.TextOf(idLogHeader);
  const std::string rule = table.TextOf(idLogHeaderRule);
  ASSERT_EQ(titles.size(), 53u);
  ASSERT_EQ(rule.size(), 53u);
  const std::pair<std::size_t, const char*> columns[] = {
      {0, "Time"}, {10, "Type"}, {20, "SubType"}, {34, "Data"}, {44, "OtherData"}};
  for (const auto& [at, title] : columns) {
    EXPECT_EQ(titles.compare(at, std::string(title).size(), title), 0) << title;
    EXPECT_EQ(rule[at], '-') << at;
    if (at > 0) {
      EXPECT_EQ(rule.substr(at - 2, 2), "  ") << at;
    }
  }
}

TEST(LogNames, ModemBitNamesEndInOneSpace) {
  TAdStringResource& table = AproErrorStrings();
  const char* const names[] = {"DCTS ", "DDSR ", "TERI ", "DDCD ", "CTS ", "DSR ", "RI ", "DCD "};
  std::string joined;
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(table.TextOf(idLogModemBitBase + bit), names[bit]) << bit;
    joined += table.TextOf(idLogModemBitBase + bit);
  }
  EXPECT_EQ(joined, "DCTS DDSR TERI DDCD CTS DSR RI DCD ");
}
