# SPDX-License-Identifier: GPL-3.0-or-later
# Lays out the application directory beside the program: the ledger, the log and the
# arrow picture. Each is made only when absent, so a user's ledger and log are never touched.
#   cmake -DAPPDIR=<dir> -DMKLEDGER=<tool> -DARROW=<gif> -P appdir.cmake
file(MAKE_DIRECTORY "${APPDIR}")
if(NOT EXISTS "${APPDIR}/velmo.mdb")
  execute_process(COMMAND "${MKLEDGER}" "${APPDIR}/velmo.mdb" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mkledger failed: ${rc}")
  endif()
endif()
if(NOT EXISTS "${APPDIR}/AP.log")
  file(TOUCH "${APPDIR}/AP.log")
endif()
if(NOT EXISTS "${APPDIR}/yazirusi.gif")
  file(COPY "${ARROW}" DESTINATION "${APPDIR}")
endif()
