# The fake device and the fake music player, as libraries: the tests use them, and tools/
# makes programs of them for running Tarv without hardware. Included from tests/support, or,
# in a build without the tests, from tools/, so that those programs need nothing of the tests.
set(TARV_SUPPORT_DIR ${PROJECT_SOURCE_DIR}/tests/support)

# The fake device: a stand-in for the device's firmware on a pseudo-terminal, built on the
# project's own wire codec. Used by the tests and by tools/tarv-fake-device.
add_library(tarv_fake_device STATIC
  ${TARV_SUPPORT_DIR}/FakeDevice.cpp
  ${TARV_SUPPORT_DIR}/FakeWidgetTree.cpp
  ${TARV_SUPPORT_DIR}/PackBits.cpp
)
target_include_directories(tarv_fake_device PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(tarv_fake_device PUBLIC tarv_link Qt6::Gui)
# Snapshots draw texts in the device's own typefaces.
target_compile_definitions(tarv_fake_device PRIVATE TARV_DEVICE_FONTS_DIR="${PROJECT_SOURCE_DIR}/data/fonts")

# A music player on a D-Bus daemon of the test's own, for the Now Playing tests, the
# benchmarks and tools/tarv-fake-player.
add_library(tarv_fake_mpris STATIC
  ${TARV_SUPPORT_DIR}/FakeMprisPlayer.cpp
  ${TARV_SUPPORT_DIR}/PrivateSessionBus.cpp
)
set_target_properties(tarv_fake_mpris PROPERTIES AUTOMOC ON)
target_include_directories(tarv_fake_mpris PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(tarv_fake_mpris PUBLIC Qt6::Core Qt6::DBus)
