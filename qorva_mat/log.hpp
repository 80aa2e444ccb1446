// The process-wide severity logger and the QORVA_LOG macro that other units emit records with.
// Sinks, filters and formats are chosen by the host application.
#pragma once

#include <boost/log/sources/global_logger_storage.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>

namespace qorva_mat {
namespace detail {

BOOST_LOG_GLOBAL_LOGGER(logger, boost::log::sources::severity_logger_mt<boost::log::trivial::severity_level>)

}  // namespace detail
}  // namespace qorva_mat

// Emits one record at the given trivial severity (trace, debug, info, warning,
// error, fatal): QORVA_LOG(warning) << "text";
#define QORVA_LOG(severity) \
  BOOST_LOG_SEV(::qorva_mat::detail::logger::get(), ::boost::log::trivial::severity)
