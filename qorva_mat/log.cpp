#include "qorva_mat/log.hpp"

#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/attributes/named_scope.hpp>

namespace qorva_mat {
namespace detail {

BOOST_LOG_GLOBAL_LOGGER_INIT(logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>) {
  boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level> lg;
  lg.add_attribute("TimeStamp", boost::log::attributes::local_clock());
  lg.add_attribute("ThreadID", boost::log::attributes::current_thread_id());
  lg.add_attribute("Scope", boost::log::attributes::named_scope());
  return lg;
}

}  // namespace detail
}  // namespace qorva_mat
