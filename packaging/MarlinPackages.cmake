# CPack's DEB generator: one package per install component, every version the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marlin)
set(CPACK_PACKAGE_VENDOR "${MARLIN_MAKER_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${MARLIN_MAKER_NAME} <${MARLIN_SUPPORT_MAIL}>")
set(CPACK_PACKAGE_HOMEPAGE_URL "${MARLIN_MAKER_HOME_URL}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${MARLIN_PACKAGE_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies are the packages that hold the libraries the binaries link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/lib")
set(exact "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_MARLIN_PACKAGE_NAME marlin)
set(CPACK_DEBIAN_MARLIN_PACKAGE_SECTION science)
# The bus library is loaded at run time, so no link records it; dpkg-shlibdeps cannot name the
# package of our own libprismbar.
set(CPACK_DEBIAN_MARLIN_PACKAGE_DEPENDS "libqzib32-1 ${exact}, libprismbar1 ${exact}")
set(CPACK_DEBIAN_MARLIN_PACKAGE_SUGGESTS "analyzer-sim")
set(CPACK_COMPONENT_MARLIN_DESCRIPTION "spectrum-analyzer trace recorder
Marlin connects over TCP/IP to a spectrum analyzer, reads one of its traces
sweep after sweep and appends every reading to a trace file, binary or
ASCII. This package holds the recorder window (marlin), the recorder without
a display (marlin-cli) and the service unit marlin-record@.service that
records unattended.")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME analyzer-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION science)
set(CPACK_COMPONENT_SIM_DESCRIPTION "simulated spectrum analyzer for Marlin
analyzer-sim serves the instrument bus protocol on the network like an
analyzer, for recording without an instrument and for tests. The service
unit marlin-sim.service runs it on the loopback interface.")

set(CPACK_DEBIAN_QZIB32_PACKAGE_NAME libqzib32-1)
set(CPACK_DEBIAN_QZIB32_PACKAGE_SECTION libs)
# The library packages refresh the linker's cache through dpkg's ldconfig trigger.
set(CPACK_DEBIAN_QZIB32_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers")
set(CPACK_COMPONENT_QZIB32_DESCRIPTION "instrument bus library (QZIB over TCP/IP)
libqzib32 gives programs a GPIB-style C interface to instruments that speak
the QZIB protocol over TCP/IP. This package holds the shared library.")

set(CPACK_DEBIAN_QZIB32_DEV_PACKAGE_NAME libqzib32-dev)
set(CPACK_DEBIAN_QZIB32_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_QZIB32_DEV_PACKAGE_DEPENDS "libqzib32-1 ${exact}")
set(CPACK_COMPONENT_QZIB32_DEV_DESCRIPTION "instrument bus library (QZIB over TCP/IP) - development files
libqzib32 gives programs a GPIB-style C interface to instruments that speak
the QZIB protocol over TCP/IP. This package holds the header, qzib32.pc for
pkg-config and the CMake package qzib32 (target qzib32::qzib32).")

set(CPACK_DEBIAN_PRISMBAR_PACKAGE_NAME libprismbar1)
set(CPACK_DEBIAN_PRISMBAR_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PRISMBAR_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers")
set(CPACK_COMPONENT_PRISMBAR_DESCRIPTION "gradient progress bar control for Qt
libprismbar holds KXprogressBar, a horizontal progress bar whose filled part
is a solid colour, a colour scale, a user gradient or a picture. This
package holds the shared library.")

set(CPACK_DEBIAN_PRISMBAR_DEV_PACKAGE_NAME libprismbar-dev)
set(CPACK_DEBIAN_PRISMBAR_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PRISMBAR_DEV_PACKAGE_DEPENDS "libprismbar1 ${exact}, qt6-base-dev")
set(CPACK_COMPONENT_PRISMBAR_DEV_DESCRIPTION "gradient progress bar control for Qt - development files
libprismbar holds KXprogressBar, a horizontal progress bar whose filled part
is a solid colour, a colour scale, a user gradient or a picture. This
package holds the headers and the Qt Designer plugin that offers the control
in Designer's widget box.")

include(CPack)
