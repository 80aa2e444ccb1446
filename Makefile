# The two commands of the README:
#   make run    builds and runs the main job on the shipped example data
#   make test   builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test
JOBS ?= $(shell nproc)
BUILD ?= build
RUN_BUILD ?= build-release

.PHONY: deps run test tsan bench clean

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

# Concurrent-query tests under ThreadSanitizer (not part of CI's sanitizer build).
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQORVA_TSAN=ON -DQORVA_BUILD_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -R 'Concurren|Thread'

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(RUN_BUILD) build-tsan build-bench
