# The two commands of the README:
#   make run    builds and runs the main job on the shipped example data
#   make test   builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test
#   make tsan   builds with ThreadSanitizer and runs every test
#   make fuzz   builds the libFuzzer harnesses with clang and runs each FUZZ_SECONDS seconds
#   make tidy   runs clang-tidy (.clang-tidy) over the library, engine and program sources
#   make format-check  fails when clang-format (.clang-format) would change a source file
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
BUILD ?= build
RUN_BUILD ?= build-release

.PHONY: deps run test tsan fuzz bench tidy format-check clean

deps:
	@bash scripts/install-deps.sh

$(RUN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(RUN_BUILD) -DCMAKE_BUILD_TYPE=Release

run: deps $(RUN_BUILD)/CMakeCache.txt
	cmake --build $(RUN_BUILD) -j $(JOBS)
	bash scripts/run-main.sh $(RUN_BUILD)

test: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug -DQORVA_SANITIZE=ON -DQORVA_BUILD_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole test suite under ThreadSanitizer (not part of CI's sanitizer build).
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQORVA_TSAN=ON -DQORVA_BUILD_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer harnesses of fuzz/ (clang, ASan + UBSan), each run FUZZ_SECONDS seconds.
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQORVA_FUZZ=ON -DQORVA_SANITIZE=ON -DQORVA_BUILD_TESTS=OFF -DQORVA_BUILD_TOOLS=OFF -DQORVA_BUILD_BENCH=OFF
	cmake --build build-fuzz --target fuzz_matbook fuzz_hdf5_store fuzz_engine -j $(JOBS)
	bash scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

# clang-tidy over the sources of the library, the engine and the program, with the compile
# commands of $(BUILD) (configured as `make test` does, without building). Any finding fails.
TIDY_JOBS ?= 2
tidy: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug -DQORVA_SANITIZE=ON -DQORVA_BUILD_BENCH=OFF
	bash scripts/run-tidy.sh $(BUILD) $(TIDY_JOBS)

# Lists the C++ files clang-format would change; fails when there is one.
format-check:
	@files=$$(git ls-files '*.cpp' '*.hpp' | xargs clang-format-14 --dry-run 2>&1 | \
	  grep -oE '^[^:]+\.(cpp|hpp)' | sort -u); \
	  if [ -n "$$files" ]; then echo "clang-format would change:"; echo "$$files"; exit 1; fi

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(RUN_BUILD) build-tsan build-fuzz build-bench
