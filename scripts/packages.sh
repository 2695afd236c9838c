# The Debian packages each command needs, by names that Debian 12, 13 and
# testing all have; sourced by the scripts so that the lists stand in one place.
# debian/control's Build-Depends names the build's and, for the tests, the
# tour's and the tests' (less build-essential's g++ and make); a unit test
# fails when they differ.

# The viewer alone.
build_packages=(cmake g++ make libglut-dev libglu1-mesa-dev libgl-dev libx11-dev libxxf86vm-dev libxrandr-dev)
# The tour drives the program through the test support library on Xorg's
# dummy driver with Mesa's software renderer.
tour_packages=(libgtest-dev libxtst-dev zlib1g-dev xserver-xorg-core xserver-xorg-video-dummy libgl1-mesa-dri)
# The rest of the tests: Xvfb, ImageMagick's identify to read a capture back,
# sway headless for the tests under XWayland, xhost to let them in there, and
# wtype to type there through sway, as a user's keyboard does.
test_packages=(xvfb imagemagick sway xwayland x11-xserver-utils wtype)
# Building the Debian package with debhelper and checking it; dpkg-buildpackage
# insists on build-essential, which a minimal installation lacks.
package_packages=(build-essential dpkg-dev debhelper lintian desktop-file-utils appstream)
# The benchmarks (glxgears beside the program's frame rate) and the memory check.
bench_packages=(libbenchmark-dev mesa-utils heaptrack)
