# Quelmar: the user's entry point. `make run` starts the converter, `make test` runs every test.
BUILD   ?= build
JOBS    ?= $(shell nproc)
SUDO    := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Build and run-time libraries, then the tools the tests compare against.
PACKAGES := build-essential cmake ninja-build pkg-config ccache \
            zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev \
            qt6-base-dev libgl1-mesa-dev fonts-dejavu-core fonts-liberation \
            libgtest-dev libgmock-dev libbenchmark-dev
TEST_PACKAGES := imagemagick netpbm icoutils libjpeg-turbo-progs python3-pil xvfb xauth time bc libimage-exiftool-perl \
                 libtiff-tools giflib-tools libtiff-dev libgif-dev

.PHONY: deps build test run bench clean

deps:
	@missing=$$(for p in $(PACKAGES) $(TEST_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: deps build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: deps build
	@if [ -x $(BUILD)/quelmar ]; then $(BUILD)/quelmar $(FILE); \
	else echo "The converter window is not built yet."; exit 1; fi

bench: deps build
	@for b in $(BUILD)/bench/*_bench; do [ -x "$$b" ] && "$$b"; done; true
	@for s in bench/peers-*.sh; do [ -f "$$s" ] && BUILD=$(BUILD) bash "$$s"; done; true
	@BUILD=$(BUILD) bash bench/hostile-files.sh; true

clean:
	rm -rf $(BUILD) build-asan
