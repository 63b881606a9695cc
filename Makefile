# Entry points. `make demo` and `make test` set up a fresh Debian machine (packages, Wine
# prefix, Xvfb) on their own.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
RUN = VMDX_BUILD_DIR=$(abspath $(BUILD_DIR)) scripts/with-display.sh

.PHONY: deps build demo test test-windows test-native bench clean

deps:
	scripts/install-deps.sh

build: deps
	cmake --preset windows -B $(BUILD_DIR) >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The host tool on its built-in clip: frames through the GPU and back, as PNG files in $(BUILD_DIR)/demo.
demo: build
	$(RUN) wine $(BUILD_DIR)/bin/vmdx.exe frames builtin:progressive --out $(BUILD_DIR)/demo

test: test-windows test-native

test-windows: build
	$(RUN) ctest --test-dir $(BUILD_DIR) --output-on-failure -j 1

# Native runs of the CPU conversion library (sanitizers, fuzzing), when present.
test-native: deps
	@if [ -x scripts/test-native.sh ]; then scripts/test-native.sh; else echo "test-native: nothing to run"; fi

# Native conversion kernels against libyuv, swscale and memcpy; then the GPU frame paths and the
# play path (module against a raw Direct3D loop) under Wine.
bench: build
	scripts/bench.sh
	$(RUN) wine $(BUILD_DIR)/bin/gpu_frames_bench.exe
	$(RUN) wine $(BUILD_DIR)/bin/play_bench.exe

clean:
	rm -rf $(BUILD_DIR)
