# Runs one golden script: PROGRAM SCRIPT:"<file>" and compares the console output with <name>.out.
# Time stamps of header lines and elapsed times are replaced by fixed text before comparing.
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME_WE)
# Every script runs on the simulated lab's NVMe drive unless its NAME.args names another target.
set(args "SCRIPT:${SCRIPT}" "/sim" "\\\\.\\PHYSICALDRIVE0")
if(EXISTS ${dir}/${name}.args)
  file(STRINGS ${dir}/${name}.args extra)
  # "@SOURCE_DIR@" in an argument stands for the root of the source tree (for lab files in examples/).
  get_filename_component(source_dir ${dir}/../.. ABSOLUTE)
  list(TRANSFORM extra REPLACE "@SOURCE_DIR@" "${source_dir}")
  list(APPEND args ${extra})
endif()
# NAME.station is the run's station file (the power hub and relay scripts); without one the
# program looks beside itself. No script switches the power of the machine it runs on.
if(EXISTS ${dir}/${name}.station)
  set(ENV{KESTRUNE_STATION} ${dir}/${name}.station)
endif()
set(ENV{KESTRUNE_NO_POWER} 1)
# NAME.peer: the companion stand-in (PEER) answers the run as that INI file says; it starts the
# program itself and adds what it received to the output. The channel's names are the script's own,
# so that scripts running side by side do not meet.
set(command ${PROGRAM} ${args})
if(EXISTS ${dir}/${name}.peer)
  if(NOT PEER)
    message(FATAL_ERROR "${name}.peer needs the companion stand-in (-DPEER=...)")
  endif()
  set(ENV{KESTRUNE_OBJECT_SUFFIX} ".golden_${name}")
  set(command ${PEER} ${dir}/${name}.peer --run ${PROGRAM} ${args})
endif()
execute_process(COMMAND ${command}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code TIMEOUT 120)
string(REGEX REPLACE "<[0-9][0-9]:[0-9][0-9]:[0-9][0-9]-[0-9]+>" "<hh:mm:ss-n>" out "${out}")
string(REGEX REPLACE "[0-9]+\\.[0-9][0-9][0-9] sec" "s.mmm sec" out "${out}")
# The per-process work folder holds the time and process id in its name.
string(REGEX REPLACE "[^ \t\n]*KestruneLite[/\\][^/\\ ]*[/\\]" "<work>/" out "${out}")
# Figures that depend on the machine's speed (rates, latencies) are masked by the regular expressions
# of NAME.mask, one per line, each with one group: a match becomes that group followed by "#".
if(EXISTS ${dir}/${name}.mask)
  file(STRINGS ${dir}/${name}.mask masks)
  foreach(mask ${masks})
    string(REGEX REPLACE "${mask}" "\\1#" out "${out}")
  endforeach()
endif()
file(READ ${dir}/${name}.out expected)
if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual "${out}")
  message(FATAL_ERROR "output differs from ${name}.out (actual kept in ${name}.actual):\n${out}\nstderr:\n${err}")
endif()
set(expected_code 0)
if(EXISTS ${dir}/${name}.code)
  file(READ ${dir}/${name}.code expected_code)
  string(STRIP "${expected_code}" expected_code)
endif()
if(NOT code STREQUAL expected_code)
  message(FATAL_ERROR "exit code ${code}, expected ${expected_code}\nstderr:\n${err}")
endif()
