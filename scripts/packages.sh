# The Debian 12 packages each command needs, sourced by scripts/run, test and
# package so that the lists stand in one place.

# The viewer alone.
build_packages=(cmake g++ make freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libx11-dev libxxf86vm-dev)
# The tour drives the program through the test support library on Xorg's
# dummy driver with Mesa's software renderer.
tour_packages=(libgtest-dev libxtst-dev zlib1g-dev xserver-xorg-core xserver-xorg-video-dummy libgl1-mesa-dri)
# The rest of the tests, the benchmarks and the package check.
test_packages=(libbenchmark-dev xvfb mesa-utils heaptrack imagemagick dpkg-dev lintian desktop-file-utils)
