# Top-level entry points. `make demo` and `make test` set up everything they
# need on a fresh Debian 12 machine (missing Debian packages are installed
# with apt-get), configure and build with CMake, and run.

JOBS ?= $(shell nproc)
DEBS := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev \
        nlohmann-json3-dev espeak-ng qt6-base-dev fonts-noto-cjk xvfb xauth \
        clang-14 libclang-rt-14-dev pkg-config libsndfile1-dev libsoxr-dev \
        gnuplot-nox chromium
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps demo test bench fuzz clean

all: demo

# Installs the Debian packages that are not installed yet.
deps:
	@missing=""; for p in $(DEBS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi

out/release/quillmark-cli: deps
	cmake -S . -B out/release -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF
	cmake --build out/release -j$(JOBS) --target quillmark-cli qm-wavtool

# The main job: a real build on demo recordings, and its inspection.
demo: out/release/quillmark-cli
	demo/run-demo.sh out/release out/demo

# Every test: the suite, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of every fuzz target.
FUZZ_SECONDS ?= 20
test: deps
	cmake -S . -B out/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_GUI=ON
	cmake --build out/test -j$(JOBS)
	cd out/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)
	JOBS=$(JOBS) tools/run-sanitized-tests.sh
	JOBS=$(JOBS) tools/run-fuzz.sh $(FUZZ_SECONDS)

# A longer fuzz run: make fuzz FUZZ_SECONDS=600
fuzz: deps
	JOBS=$(JOBS) tools/run-fuzz.sh $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B out/bench -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=ON
	cmake --build out/bench -j$(JOBS)
	out/bench/bench/qm-bench-report

clean:
	rm -rf out
