// What the libFuzzer harnesses feed the library, shared with the test that replays the kept
// reproducers. A crash, a sanitizer report, a hang or an exception not caught here is a finding.
#pragma once

#include <H5Cpp.h>
#include <unistd.h>
#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <boost/log/core.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <boost/token_functions.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "qorva_gil/interpolator.hpp"
#include "qorva_mat/error.hpp"
#include "qorva_mat/load_hdf5.hpp"
#include "qorva_mat/load_matbook.hpp"
#include "qorva_mat/material.hpp"

namespace qorva_fuzz {

// Path of this process's scratch file (on /dev/shm when there is one).
inline std::string scratch_path(const char* extension) {
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/qorva-fuzz-" + std::to_string(::getpid()) + extension;
}

// Replaces the scratch file's content with the input and returns its path; aborts when that
// fails (not a finding of the library).
inline std::string write_scratch(const std::uint8_t* data, std::size_t size,
                                 const char* extension) {
  const std::string path = scratch_path(extension);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::perror("qorva-fuzz: scratch file");
    std::abort();
  }
  return path;
}

// Records are of no interest while fuzzing and cost most of the time.
inline void silence_logging() { boost::log::core::get()->set_logging_enabled(false); }

// The input as a Matbook file for load_materials; its documented errors are caught.
inline void run_matbook(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_scratch(data, size, ".xml");
  static const auto system = qorva_mat::make_unit_system("SI");
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  try {
    qorva_mat::load_materials(path, materials, system);
  } catch (const boost::property_tree::ptree_error&) {  // parse errors, missing nodes, bad data
  } catch (const boost::bad_lexical_cast&) {
  } catch (const boost::escaped_list_error&) {  // bad escape or quote in a value list
  } catch (const qorva_mat::runtime_error&) {
  } catch (const std::out_of_range&) {
  }
  std::remove(path.c_str());
}

// The input as an HDF5 material store for load_materials_hdf5: its failure value and the
// library's own errors are the documented outcomes. Returns the loader's result (1 for an error).
inline unsigned int run_hdf5_store(const std::uint8_t* data, std::size_t size) {
  const std::string path = write_scratch(data, size, ".h5");
  std::vector<std::shared_ptr<qorva_mat::Material>> materials;
  unsigned int result = 1;
  try {
    result = qorva_mat::load_materials_hdf5(path, materials);
  } catch (const qorva_mat::runtime_error&) {
  }
  std::remove(path.c_str());
  return result;
}

namespace detail {

using qorva_gil::ExitStatusEnum;
using qorva_gil::Interpolator;

// Reads the input front to back; past its end every read gives zeros.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool empty() const { return pos_ >= size_; }
  // Mostly small grid values (so points repeat and line up), sometimes any double at all.
  double value() {
    const std::uint8_t tag = byte();
    if (tag < 0xF0) return (static_cast<int>(tag) - 120) / 8.0;
    double raw = 0;
    std::uint8_t bits[sizeof raw];
    for (auto& b : bits) b = byte();
    std::memcpy(&raw, bits, sizeof raw);
    return raw;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

inline bool all_finite(const std::vector<double>& values) {
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

struct Setup {
  Interpolator engine;
  std::vector<std::string> names;
  bool finite = true;  // every number handed to the engine is finite
};

inline void build(Bytes& in, Setup& s) {
  const std::uint8_t flags = in.byte();
  static const qorva_gil::AlgorithmTypeEnum::type kAlgorithms[] = {
      qorva_gil::AlgorithmTypeEnum::LINEAR_MULTIVARIATE,
      qorva_gil::AlgorithmTypeEnum::NEAREST_NEIGHBOR, qorva_gil::AlgorithmTypeEnum::RADIAL_BASIS};
  s.engine.set_algorithm_type(kAlgorithms[flags % 3]);
  s.engine.set_is_cached(flags & 0x04);
  s.engine.set_is_normalized(flags & 0x08);
  s.engine.set_algorithm_option("project_to_convex_hull", flags & 0x10);
  s.engine.set_algorithm_option("use_cgal_triangulation", flags & 0x20);
  const std::size_t dims = in.byte() % 4;  // 0: a constant
  const std::size_t points = dims == 0 ? 1 : 1 + in.byte() % 24;
  for (std::size_t d = 0; d < dims; ++d) s.names.push_back("x" + std::to_string(d));
  Interpolator::table independent(dims == 0 ? 0 : points, std::vector<double>(dims));
  Interpolator::table dependent(points, std::vector<double>(2));
  for (std::size_t p = 0; p < points; ++p) {
    for (double& v : independent.empty() ? dependent[p] : independent[p])
      s.finite &= std::isfinite(v = in.value());
    if (!independent.empty()) {
      for (double& v : dependent[p]) s.finite &= std::isfinite(v = in.value());
    }
  }
  s.engine.set_independent_names(s.names);
  s.engine.set_dependent_names({"a", "b"});
  s.engine.set_independent_data(independent);
  s.engine.set_dependent_data(dependent);
  if (flags & 0x40) {
    Interpolator::ranges ranges(dims);
    for (auto& r : ranges) {
      r.first = in.value();
      r.second = in.value();
      s.finite &= std::isfinite(r.first) && std::isfinite(r.second);
    }
    s.engine.set_independent_data_ranges(ranges);
  }
  if (flags & 0x80) {
    std::vector<double> defaults(dims);
    for (double& v : defaults) s.finite &= std::isfinite(v = in.value());
    s.engine.set_default_independent_values(defaults);
  }
}

// A batch of the given points answers as the single queries did: the same statuses, and the
// same values bit for bit where the status is not ERROR (then both are NaN). Only without
// caching: a cached engine first tries the simplex its thread used last, and on tables whose
// simplices are numerically degenerate (coordinates near 1e76, say) that can give a point
// another simplex than a fresh walk does, so its answers depend on the thread's history.
inline bool batch_equals_singles(const Setup& s, const std::vector<double>& points,
                                 const std::vector<double>& answers,
                                 const std::vector<qorva_gil::ExitStatusEnum::type>& statuses) {
  const std::size_t n = statuses.size();
  bool cached = false;
  s.engine.get_is_cached(cached);
  if (n == 0 || cached) return true;
  std::vector<double> batch(2 * n);
  std::vector<qorva_gil::ExitStatusEnum::type> batch_statuses(n);
  s.engine.batch_query(s.names, points.data(), n, batch.data(), batch_statuses.data());
  for (std::size_t i = 0; i < n; ++i) {
    if (batch_statuses[i] != statuses[i]) return false;
    if (statuses[i] == qorva_gil::ExitStatusEnum::ERROR) continue;
    if (std::memcmp(&batch[2 * i], &answers[2 * i], 2 * sizeof(double)) != 0) return false;
  }
  return true;
}

}  // namespace detail

// Decodes a table, settings and up to 16 queries from the input and runs them, then asks the
// queries that name every variable again as one batch. Returns false for a finding: a query
// answered without ERROR whose value is not finite although every number handed to the engine
// was, or a batch whose statuses or values differ from those of the single queries.
inline bool run_engine(const std::uint8_t* data, std::size_t size) {
  detail::Bytes in(data, size);
  detail::Setup s;
  detail::build(in, s);
  if (s.engine.initialize() == qorva_gil::ExitStatusEnum::ERROR) return true;
  // The queries that name every variable in stored order, and their single answers, for a
  // batch of the same points.
  std::vector<double> batch_points, single_answers;
  std::vector<qorva_gil::ExitStatusEnum::type> single_statuses;
  for (int q = 0; q < 16 && !in.empty(); ++q) {
    const std::uint8_t mask = in.byte();  // which variables the query names; 0x80: the defaults
    std::vector<std::string> names;
    std::vector<double> values;
    bool finite = s.finite;
    for (std::size_t d = 0; d < s.names.size(); ++d) {
      if (!(mask & (1u << d))) continue;
      names.push_back(s.names[d]);
      values.push_back(in.value());
      finite &= std::isfinite(values.back());
    }
    std::vector<double> result;
    const auto status =
        mask & 0x80 ? s.engine.default_query(result) : s.engine.query(names, values, result);
    if (status != qorva_gil::ExitStatusEnum::ERROR && finite && !detail::all_finite(result))
      return false;
    if (!(mask & 0x80) && !names.empty() && names.size() == s.names.size()) {
      batch_points.insert(batch_points.end(), values.begin(), values.end());
      result.resize(2, std::numeric_limits<double>::quiet_NaN());
      single_answers.insert(single_answers.end(), result.begin(), result.end());
      single_statuses.push_back(status);
    }
  }
  return detail::batch_equals_singles(s, batch_points, single_answers, single_statuses);
}

}  // namespace qorva_fuzz
