// A host program that does not link qorva_mat: it opens the library and a material plugin
// with dlopen, the way a solver loads user material code, and queries through the plugin.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using open_fn = void* (*)(const char*, const char*, char*, std::size_t);
using query_fn = int (*)(const void*, const char*, const char*, const char*, double, const char*,
                         double*, char*, std::size_t);
using close_fn = void (*)(void*);
using version_fn = const char* (*)();

const char* const kFile = QORVA_TEST_DATA_DIR "/matbook_mechanics.xml";

std::string last_dl_error() {
  const char* text = dlerror();
  return text != nullptr ? text : "(no dlerror text)";
}

template <typename F>
F symbol(void* library, const char* name) {
  void* address = dlsym(library, name);
  EXPECT_NE(address, nullptr) << name << ": " << last_dl_error();
  return reinterpret_cast<F>(address);
}

// The plugin's functions, resolved from a handle opened with RTLD_NOW | RTLD_LOCAL.
struct Plugin {
  void* library = nullptr;
  open_fn open = nullptr;
  query_fn query = nullptr;
  close_fn close = nullptr;
  version_fn version = nullptr;

  Plugin() {
    library = dlopen(QORVA_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      ADD_FAILURE() << "dlopen(" << QORVA_PLUGIN << "): " << last_dl_error();
      return;
    }
    open = symbol<open_fn>(library, "qorva_plugin_open");
    query = symbol<query_fn>(library, "qorva_plugin_query");
    close = symbol<close_fn>(library, "qorva_plugin_close");
    version = symbol<version_fn>(library, "qorva_plugin_library_version");
  }
  ~Plugin() {
    if (library != nullptr) dlclose(library);
  }
  bool ready() const { return open && query && close && version; }
};

// The "Multilinear" hardening curve of the data file: 250, 300, 320 MPa at plastic strains
// 0, 0.01, 0.05, linear in between.
double hardening_mpa(double strain) {
  return strain <= 0.01 ? 250 + 5000 * strain : 300 + 500 * (strain - 0.01);
}

double query_hardening(const Plugin& plugin, const void* file, double strain, std::string& error) {
  double value = NAN;
  char message[512] = "";
  if (plugin.query(file, "Multilinear", "Isotropic Hardening", "Plastic Strain", strain, "stress",
                   &value, message, sizeof message) != 0) {
    error = message;
  }
  return value;
}

TEST(Dlopen, LibraryLoadsWithRtldNowLocalIntoAProgramThatDoesNotLinkIt) {
  ASSERT_EQ(dlopen(QORVA_LIBRARY, RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the host must not have the library loaded before it opens it";
  void* library = dlopen(QORVA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << last_dl_error();
  EXPECT_EQ(dlclose(library), 0) << last_dl_error();
}

TEST(Dlopen, PluginQueriesAFileInTheUnitSystemItAsksFor) {
  Plugin plugin;
  ASSERT_TRUE(plugin.ready());
  EXPECT_STREQ(plugin.version(), QORVA_VERSION);
  char message[512] = "";
  for (const auto& [system, scale] : {std::pair<const char*, double>{"MPA", 1.0}, {"SI", 1e6}}) {
    void* file = plugin.open(kFile, system, message, sizeof message);
    ASSERT_NE(file, nullptr) << message;
    for (double strain : {0.0, 0.004, 0.01, 0.03, 0.05}) {
      std::string error;
      EXPECT_NEAR(query_hardening(plugin, file, strain, error), hardening_mpa(strain) * scale,
                  1e-9 * scale)
          << system << " at " << strain << ": " << error;
    }
    plugin.close(file);
  }
}

// Exceptions thrown inside the library are caught by the plugin's handlers, which needs the
// library's type information to match across the locally loaded objects.
TEST(Dlopen, PluginTurnsLibraryExceptionsIntoErrorTexts) {
  Plugin plugin;
  ASSERT_TRUE(plugin.ready());
  char message[512] = "";
  EXPECT_EQ(plugin.open(QORVA_TEST_DATA_DIR "/no_such_file.xml", "SI", message, sizeof message),
            nullptr);
  EXPECT_NE(std::string(message).find("no_such_file.xml"), std::string::npos) << message;

  void* file = plugin.open(kFile, "MPA", message, sizeof message);
  ASSERT_NE(file, nullptr) << message;
  double value = 0;
  EXPECT_EQ(plugin.query(file, "Multilinear", "Density", "Temperature", 20, "rho", &value, message,
                         sizeof message),
            1);
  EXPECT_STREQ(message, "Density is not available for material Multilinear.");
  plugin.close(file);
}

// Threads started after the library was loaded get its per-thread state (the engine's query
// cache is on in this file) allocated on first use.
TEST(Dlopen, PluginAnswersFromThreadsStartedAfterLoading) {
  Plugin plugin;
  ASSERT_TRUE(plugin.ready());
  char message[512] = "";
  void* file = plugin.open(QORVA_TEST_DATA_DIR "/matbook_hardening_cached.xml", "MPA", message,
                           sizeof message);
  ASSERT_NE(file, nullptr) << message;
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i <= 500; ++i) {
        const double strain = 0.05 * ((i * 7 + static_cast<int>(t) * 13) % 501) / 500.0;
        std::string error;
        const double value = query_hardening(plugin, file, strain, error);
        if (!error.empty() || std::fabs(value - hardening_mpa(strain)) > 1e-9) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(wrong.size(), 0));
  plugin.close(file);
}

}  // namespace
