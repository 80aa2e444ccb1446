#include "qorva_mat/detail/load_matbook/xml_depth.hpp"

#include <boost/property_tree/detail/xml_parser_error.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace qorva_mat {
namespace detail {

namespace {

// Position just after the first `end` at or after `from`, or npos.
std::size_t skip_past(const std::string& text, std::size_t from, const char* end,
                      std::size_t end_size) {
  const std::size_t at = text.find(end, from, end_size);
  return at == std::string::npos ? at : at + end_size;
}

// Position just after the '>' closing the tag that opens at `from`, quotes respected; npos when
// the tag does not end. `self_closing` tells whether "/>" closed it.
std::size_t tag_end(const std::string& text, std::size_t from, bool& self_closing) {
  char quote = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      self_closing = i > from && text[i - 1] == '/';
      return i + 1;
    }
  }
  return std::string::npos;
}

// Position just after a "<!...>" declaration, with its bracketed internal subset.
std::size_t declaration_end(const std::string& text, std::size_t from) {
  int brackets = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '[') ++brackets;
    if (text[i] == ']') --brackets;
    if (text[i] == '>' && brackets <= 0) return i + 1;
  }
  return std::string::npos;
}

}  // namespace

std::size_t xml_nesting_depth(const std::string& text, std::size_t limit, std::size_t& line) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  std::size_t i = 0;
  while (i < text.size() && (i = text.find('<', i)) != std::string::npos) {
    const std::size_t start = i;
    bool self_closing = false;
    if (text.compare(i, 4, "<!--") == 0) {
      i = skip_past(text, i + 4, "-->", 3);
    } else if (text.compare(i, 9, "<![CDATA[") == 0) {
      i = skip_past(text, i + 9, "]]>", 3);
    } else if (text.compare(i, 2, "<?") == 0) {
      i = skip_past(text, i + 2, "?>", 2);
    } else if (text.compare(i, 2, "<!") == 0) {
      i = declaration_end(text, i + 2);
    } else if (text.compare(i, 2, "</") == 0) {
      if (depth > 0) --depth;
      i = skip_past(text, i + 2, ">", 1);
    } else {
      i = tag_end(text, i + 1, self_closing);
      deepest = std::max(deepest, depth + 1);
      if (!self_closing) ++depth;
      if (deepest > limit) {
        line = 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + start, '\n'));
        return limit + 1;
      }
    }
  }
  return deepest;
}

void check_xml_text_depth(const std::string& text, const std::string& name) {
  std::size_t line = 0;
  if (xml_nesting_depth(text, kMaxXmlDepth, line) > kMaxXmlDepth) {
    throw boost::property_tree::xml_parser::xml_parser_error(
        "XML elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels", name,
        static_cast<unsigned long>(line));
  }
}

void check_xml_file_depth(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  check_xml_text_depth(text, path);
}

}  // namespace detail
}  // namespace qorva_mat
