#include "tools/messages.hpp"

#include <boost/any.hpp>
#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <iostream>
#include <mutex>
#include <set>
#include <stdexcept>

#include "qorva_mat/error.hpp"
#include "qorva_mat/log.hpp"

namespace qorva_cli {
namespace {

struct WarningState {
  std::mutex mutex;
  bool quiet = false;
  std::string context;
  std::set<std::string> printed;
};

WarningState& state() {
  static WarningState s;
  return s;
}

// Hands the message of every record it receives to warn().
class WarningBackend
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::synchronized_feeding> {
 public:
  void consume(const boost::log::record_view& record) {
    if (auto message = record[boost::log::expressions::smessage]) warn(message.get());
  }
};

const char* const kGilPrefix = "GIL-error:";

// "MatbookData.<xmlattr>.version" -> the attribute 'version' of the element 'MatbookData'.
std::string missing_node(const std::string& path) {
  const std::string attribute_mark = "<xmlattr>.";
  const auto at = path.find(attribute_mark);
  std::string element = path.substr(0, at == std::string::npos ? path.size() : at);
  if (!element.empty() && element.back() == '.') element.pop_back();
  for (char& c : element) c = c == '.' ? '/' : c;
  if (at == std::string::npos) return "the required element '" + element + "' is missing";
  const std::string attribute = path.substr(at + attribute_mark.size());
  return "the required attribute '" + attribute + "' " +
         (element.empty() ? std::string("is missing")
                          : "of the element '" + element + "' is missing");
}

std::string bad_data(const boost::property_tree::ptree_bad_data& e) {
  std::string what = e.what();
  if (what.rfind("conversion of data to type", 0) != 0) return what;
  std::string text = "a text where a number is needed is not one";
  try {
    text += ": '" + e.data<std::string>() + "'";
  } catch (const boost::bad_any_cast&) {
  }
  return text;
}

}  // namespace

void start_warnings(bool quiet, bool library_records) {
  state().quiet = quiet;
  if (quiet || !library_records) return;
  using frontend_t = boost::log::sinks::synchronous_sink<WarningBackend>;
  auto frontend = boost::make_shared<frontend_t>();
  frontend->set_filter(boost::log::trivial::severity >= boost::log::trivial::warning);
  qorva_mat::add_sink(boost::make_shared<qorva_mat::Sink>(frontend));
}

WarningContext::WarningContext(const std::string& path) {
  std::lock_guard<std::mutex> lock(state().mutex);
  previous_ = state().context;
  state().context = path;
}

WarningContext::~WarningContext() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().context = previous_;
}

void warn(const std::string& text) {
  try {
    WarningState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.quiet) return;
    std::string line = one_line(text);
    line.erase(0, line.find_first_not_of("- "));
    if (!s.context.empty()) line = s.context + ": " + line;
    if (!s.printed.insert(line).second) return;
    std::cerr << "qorva-mat: warning: " << line << std::endl;
  } catch (...) {
  }
}

std::string one_line(const std::string& text) {
  std::string line;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      if (!line.empty() && line.back() != ';' && line.back() != ':') line += ';';
      blank = !line.empty();
      continue;
    }
    if (c == ' ' || c == '\t') {
      blank = !line.empty();
      continue;
    }
    if (blank) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

std::string describe_failure(const std::exception& failure) {
  namespace pt = boost::property_tree;
  std::string text;
  if (const auto* e = dynamic_cast<const pt::xml_parser_error*>(&failure)) {
    text = "line " + std::to_string(e->line()) + ": " + e->message();
    if (e->line() == 0) text = e->message();
  } else if (const auto* e = dynamic_cast<const pt::ptree_bad_path*>(&failure)) {
    text = missing_node(e->path<pt::ptree::path_type>().dump());
  } else if (const auto* e = dynamic_cast<const pt::ptree_bad_data*>(&failure)) {
    text = bad_data(*e);
  } else if (dynamic_cast<const boost::bad_lexical_cast*>(&failure)) {
    text = "a number or a list of numbers is malformed";
  } else if (dynamic_cast<const std::out_of_range*>(&failure) &&
             std::string(failure.what()) == "Unable to find key in unordered_map.") {
    text = "a property lacks a parameter or qualifier it needs";
  } else {
    text = failure.what();
    if (text.rfind(kGilPrefix, 0) == 0)
      text = "interpolation: " + text.substr(std::string(kGilPrefix).size());
  }
  return one_line(text);
}

}  // namespace qorva_cli
