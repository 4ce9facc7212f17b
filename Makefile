# The two commands: `make demo` repairs the bundled damaged sample (in the desktop
# program when there is a display, else with the console program); `make test`
# builds everything and runs every test through CTest. Both install what they need.
# `make test-asan` builds the program and its tests again in build-asan/ with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test there.
# `make screenshots` shows the desktop program under Xvfb and saves what it showed.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2
# A lock file that serialises the compiles with other builds on a shared machine
# (`make test BUILD_LOCK=/tmp/build.lock`); the tests run outside it.
BUILD_LOCK ?=
LOCKED = $(if $(BUILD_LOCK),flock $(BUILD_LOCK))
# The asan build compiles at -O1 with line tables only: quicker to build, every stack
# still readable. The run also checks stack memory used after its function returned,
# and a report of undefined behaviour comes with its stack. LeakSanitizer is on as
# everywhere by default: the suite, the desktop's tests too, leaks nothing, so no
# leak is suppressed.
SANITIZER_ENV = ASAN_OPTIONS=detect_stack_use_after_return=1 UBSAN_OPTIONS=print_stacktrace=1

.PHONY: deps build demo test test-asan screenshots clean

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	$(LOCKED) cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/sample/make_sample $(BUILD)/sample/damaged-sample.db > /dev/null
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/shell/kestrun-repair-gui $(BUILD)/sample/damaged-sample.db; \
	else \
	  mkdir -p out && \
	  $(BUILD)/cli/kestrun-repair --out out --include-deleted $(BUILD)/sample/damaged-sample.db && \
	  echo && echo "With a display, the desktop program repairs it too:" && \
	  echo "  $(BUILD)/shell/kestrun-repair-gui $(BUILD)/sample/damaged-sample.db"; \
	fi

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DKESTRUN_SANITIZE=ON -DKESTRUN_BUILD_BENCH=OFF

test-asan: deps $(ASAN_BUILD)/build.ninja
	$(LOCKED) cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

screenshots: build
	@./scripts/install-deps.sh xvfb imagemagick
	@./scripts/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
