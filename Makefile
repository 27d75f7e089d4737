# The two commands a newcomer needs: `make run` and `make test`. Both install
# what is missing first.
BUILD ?= build
CTEST_ARGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build install run test test-stress bench clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# PREFIX=/usr/local by default; the desktop entry registers the zelvan:// scheme.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	-update-desktop-database $(PREFIX)/share/applications 2>/dev/null

# Without a display, the whole road in the private test desktop: sign-in to a
# local platform, a recording, filing, upload and the platform's record of it.
# Only the three programs it runs: the whole test suite is `make test`'s to build.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target zelvan zelvan-demo zelvan-fake-platform
	@if [ -n "$${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then \
		$(BUILD)/src/app/zelvan; \
	else \
		echo "No display here: showing Zelvan in a private desktop against a local platform."; \
		scripts/desktop-session $(BUILD)/tests/support/zelvan-demo $(BUILD)/src/app/zelvan \
			$(BUILD)/tests/support/zelvan-fake-platform; \
	fi

test: build
	scripts/desktop-session ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600 $(CTEST_ARGS)

# Not run by CI: the whole suite three times in a row on two cores with busy loops
# beside it, as on a small, loaded CI machine.
test-stress: build
	JOBS=$(JOBS) scripts/test-stress $(BUILD) 3 $(CTEST_ARGS)

bench: build
	scripts/desktop-session scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD)
