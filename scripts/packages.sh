# The Debian packages each command needs, by names that Debian 12 and 13
# both have; sourced by the scripts so that the lists stand in one place.

# The viewer alone.
build_packages=(cmake g++ make libglut-dev libglu1-mesa-dev libgl-dev libx11-dev libxxf86vm-dev libxrandr-dev)
# The tour drives the program through the test support library on Xorg's
# dummy driver with Mesa's software renderer.
tour_packages=(libgtest-dev libxtst-dev zlib1g-dev xserver-xorg-core xserver-xorg-video-dummy libgl1-mesa-dri)
# The Debian package: dpkg-dev reads Depends off the binary's libraries and
# gives Debian's hardening flags; CPack needs file.
package_packages=(dpkg-dev file)
# The rest of the tests, the benchmarks and the package check; sway runs
# headless for the tests under XWayland, and xhost lets the tests in there.
# wtype types there through sway, as a user's keyboard does.
test_packages=("${package_packages[@]}" libbenchmark-dev xvfb mesa-utils heaptrack imagemagick lintian desktop-file-utils
  sway xwayland x11-xserver-utils wtype)
