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

# The built-in clip played for three seconds in a 16:9 window (on Xvfb when there is no display),
# so letterboxed, with the frame number, timecode and rate drawn on it; every 25th presented
# picture lands in $(BUILD_DIR)/demo as a PNG file.
demo: build
	rm -rf $(BUILD_DIR)/demo
	$(RUN) wine $(BUILD_DIR)/bin/vmdx.exe play builtin:progressive --frames 75 --size 854x480 --osd --capture $(BUILD_DIR)/demo --every 25

test: test-windows test-native

test-windows: build
	$(RUN) ctest --test-dir $(BUILD_DIR) --output-on-failure -j 1

# Native runs of the CPU conversion library (sanitizers, fuzzing), when present.
test-native: deps
	@if [ -x scripts/test-native.sh ]; then scripts/test-native.sh; else echo "test-native: nothing to run"; fi

# Native conversion kernels against libyuv, swscale and memcpy; then under Wine the GPU frame paths,
# the play path (module against a raw Direct3D loop), and the GPU image processing and the display
# program, each beside ffmpeg's filters on the same frames.
bench: build
	scripts/bench.sh
	$(RUN) wine $(BUILD_DIR)/bin/gpu_frames_bench.exe
	$(RUN) wine $(BUILD_DIR)/bin/play_bench.exe
	$(RUN) wine $(BUILD_DIR)/bin/lens_bench.exe
	BUILD_DIR=$(BUILD_DIR) scripts/bench-imaging.sh
	$(RUN) scripts/bench-display.sh

clean:
	rm -rf $(BUILD_DIR)
