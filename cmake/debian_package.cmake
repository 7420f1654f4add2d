# `cpack -G DEB` in a build folder makes an installable Debian package of what
# `cmake --install` installs, under /usr. Its library dependencies are found by
# dpkg-shlibdeps (from dpkg-dev), so they follow whatever Qt the build linked.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QUORVEL_PUBLISHER}")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_PUBLISHER} <${QUORVEL_MAIL_1}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "send commands to smart cards through a serial-port card reader")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel talks to ISO/IEC 7816 smart cards through a plain serial-port card reader,
one whose card contact is wired to the port's receive and transmit lines and whose
reset line hangs on RTS. It resets the card and shows its answer-to-reset, keeps
card commands in .scc files and executes them over a subset of T=0, showing every
received byte in hexadecimal and writing it to a log file. Command lists also run
without a window, from scripts and CI: quorvel --run FILE.scc.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORVEL_HOME_PAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
