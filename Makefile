# Two commands for a fresh Debian 12 machine: `make run` and `make test`.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build run test bench sanitize clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Starts the program on the embedded demo data directory (created on first use).
run: build
	@$(BUILD_DIR)/app/tessal-demo-setup $(BUILD_DIR)/demo-data $(BUILD_DIR)/app
	@$(BUILD_DIR)/app/tessal

test: build
	@scripts/run-tests.sh $(BUILD_DIR) $(JOBS)

bench: build
	@scripts/install-deps.sh --bench
	@scripts/run-benchmarks.sh $(BUILD_DIR)

# Non-GUI tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B $(BUILD_DIR)-asan -DCMAKE_BUILD_TYPE=Debug -DTESSAL_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	@cd $(BUILD_DIR)-asan && ctest --output-on-failure -L unit -j $(JOBS)

clean:
	@rm -rf $(BUILD_DIR) $(BUILD_DIR)-asan
