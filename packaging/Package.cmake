# SPDX-License-Identifier: GPL-3.0-or-later
# `make package`: a Debian package of everything `cmake --install` lays out, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${VELMO_DEVELOPER})
set(CPACK_PACKAGE_CONTACT ${VELMO_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "household ledger for Japanese desktops")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "ヴェルモラ keeps a household's money: storage places and their\n"
  "balances, income, expenses, automatic debits, transfers between places\n"
  "and stocktakes, with yearly totals, graphs, histories and CSV export.\n"
  "Its windows are in Japanese.\n"
  "\n"
  "The ledger is one SQLite file in the user's own folder; removing the\n"
  "package leaves it in place.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see, because the program loads it at run time: without the SQLite
# driver there is no ledger and without a Japanese font every text is drawn as boxes, so both
# are needed; without the Qt translations only the standard buttons speak English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libqt6sql6-sqlite, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
