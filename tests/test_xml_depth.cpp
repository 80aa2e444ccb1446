// Tests of the nesting scan that keeps deeply nested XML away from the recursive parser.
#include "qorva_mat/detail/load_matbook/xml_depth.hpp"

#include <gtest/gtest.h>

#include <boost/property_tree/xml_parser.hpp>

#include <string>

#include "qorva_mat/load_matbook.hpp"

namespace {

using qorva_mat::detail::xml_nesting_depth;

std::size_t depth(const std::string& text) {
  std::size_t line = 0;
  return xml_nesting_depth(text, 1000, line);
}

TEST(XmlDepth, CountsElementsButNotMarkupThatLooksLikeThem) {
  EXPECT_EQ(depth(""), 0u);
  EXPECT_EQ(depth("<a/>"), 1u);
  EXPECT_EQ(depth("<a><b><c/></b><b>x</b></a>"), 3u);
  EXPECT_EQ(depth("<?xml version=\"1.0\"?><!DOCTYPE a [<!ELEMENT a ANY>]><a></a>"), 1u);
  EXPECT_EQ(depth("<a><!-- <b><c><d> --><![CDATA[<b><c>]]></a>"), 1u);
  EXPECT_EQ(depth("<a x=\"/>\" y='>'><b/></a>"), 2u);  // quoted '>' and "/>" end no tag
  EXPECT_EQ(depth("<a><b><c>"), 3u);                   // unclosed: counted as far as it goes
}

TEST(XmlDepth, StopsAtTheLimitAndNamesTheLine) {
  std::string text = "<r>\n";
  for (int i = 0; i < 10; ++i) text += "<e>\n";
  std::size_t line = 0;
  EXPECT_EQ(xml_nesting_depth(text, 5, line), 6u);
  EXPECT_EQ(line, 6u);  // <r> on line 1, the fifth <e> (depth 6) on line 6
  EXPECT_EQ(xml_nesting_depth(text, 11, line), 11u);
}

TEST(XmlDepth, DeeplyNestedMatbookFileIsRejectedBeforeParsing) {
  // 30000 levels in 210 kB overflowed the stack inside the recursive XML parser.
  const std::string file = std::string(QORVA_TEST_DATA_DIR) + "/hostile/matbook_nested_30000.xml";
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  try {
    qorva_mat::load_materials(file, materials, qorva_mat::make_unit_system("SI"));
    ADD_FAILURE() << "loaded";
  } catch (const boost::property_tree::xml_parser_error& e) {
    EXPECT_EQ(e.message(), "XML elements nested deeper than 256 levels");
    EXPECT_EQ(e.filename(), file);
    EXPECT_EQ(e.line(), 1u);
  }
  EXPECT_TRUE(materials.empty());
}

}  // namespace
