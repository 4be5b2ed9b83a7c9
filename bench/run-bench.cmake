# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark program with repetitions, keeps each one's JSON, then prints one table
# of medians and writes it as CSV.
#   cmake -DPROGRAMS=<prog>|<prog>... -DOUT=<dir> -DREPORT=<benchreport> -P run-bench.cmake
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")

set(REPS 5)
if(DEFINED ENV{VELMO_BENCH_REPETITIONS})
  set(REPS $ENV{VELMO_BENCH_REPETITIONS})
endif()
set(MIN_TIME 0.2)
if(DEFINED ENV{VELMO_BENCH_MIN_TIME})
  set(MIN_TIME $ENV{VELMO_BENCH_MIN_TIME})
endif()
set(FILTER)
if(DEFINED ENV{VELMO_BENCH_FILTER})
  set(FILTER "--benchmark_filter=$ENV{VELMO_BENCH_FILTER}")
endif()
if(NOT DEFINED ENV{QT_QPA_PLATFORM})
  set(ENV{QT_QPA_PLATFORM} offscreen)
endif()
if(NOT DEFINED ENV{QT_LOGGING_RULES})
  set(ENV{QT_LOGGING_RULES} "qt.qpa.*=false")
endif()
# Qt wants a private runtime directory and complains on every start without one.
if(NOT DEFINED ENV{XDG_RUNTIME_DIR})
  file(MAKE_DIRECTORY "${OUT}/runtime")
  file(CHMOD "${OUT}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(ENV{XDG_RUNTIME_DIR} "${OUT}/runtime")
endif()

file(MAKE_DIRECTORY "${OUT}")
# Results of a program that no longer exists must not reach the table.
file(GLOB old "${OUT}/*.json")
if(old)
  file(REMOVE ${old})
endif()

set(jsons)
set(failed)
foreach(program ${PROGRAMS})
  get_filename_component(name "${program}" NAME_WE)
  message(STATUS "${name}")
  execute_process(
    COMMAND "${program}" --benchmark_repetitions=${REPS} --benchmark_report_aggregates_only=true
            --benchmark_min_time=${MIN_TIME} --benchmark_out=${OUT}/${name}.json
            --benchmark_out_format=json ${FILTER}
    RESULT_VARIABLE rc)
  if(rc EQUAL 0 AND EXISTS "${OUT}/${name}.json")
    list(APPEND jsons "${OUT}/${name}.json")
  else()
    list(APPEND failed "${name} (${rc})")
  endif()
endforeach()

execute_process(COMMAND "${REPORT}" --csv "${OUT}/results.csv" ${jsons} RESULT_VARIABLE rc)
if(failed)
  message(FATAL_ERROR "benchmark programs failed: ${failed}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "benchreport failed: ${rc}")
endif()
