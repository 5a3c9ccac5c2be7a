# The board owners' packages under Wine's own msiexec, in a prefix of their
# own: a table of steps, each followed by the doctor's report, the class keys
# in every registry view, the Program Files folders and the installed products.
#
# cmake -DARCH=x64|x86 -DWINE=<runs a Windows program> -DBIN=<this build's bin> -DBIN32=<i686 bin>
#       -DVERSION=<a.b.c> -DWORK=<folder> -DINSTALLER=<installer sources> -P msi_steps.cmake
#   x64: 64-bit Windows (the x86_64 build; BIN32 gives the 32-bit module)
#   x86: 32-bit Windows, a prefix of Wine's 32-bit side only (the i686 build, BIN32 = BIN)
cmake_minimum_required(VERSION 3.20)
set(ENV{WINEPREFIX} ${WORK}/prefix)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;winedbg.exe=d")
set(clsid "{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}")
set(drive $ENV{WINEPREFIX}/drive_c)

# What a package of each kind puts where:
# folder under C:\ | its files | the registry view that names its module
set(layout_x64 "Program Files|MbPciEncoder.rom,zelkdiag.exe,zelkenc.dll|64"
  "Program Files (x86)|MbPciEncoder.rom,zelkenc.dll|32")
set(layout_x86 "Program Files|MbPciEncoder.rom,zelkdiag.exe,zelkenc.dll|32")

# The packages, from the test builds: this version, on 64-bit Windows also a
# higher one from the same files and the one for 32-bit Windows.
string(REGEX MATCH "^([0-9]+\\.[0-9]+)\\.([0-9]+)$" parts ${VERSION})
math(EXPR patch "${CMAKE_MATCH_2} + 1")
set(HIGHER ${CMAKE_MATCH_1}.${patch})
set(packages "current|${ARCH}|${VERSION}")
if(ARCH STREQUAL "x64")
  set(ENV{WINEARCH} win64)
  list(APPEND packages "higher|x64|${HIGHER}" "other|x86|${VERSION}")
else()
  set(ENV{WINEARCH} win32)
endif()
foreach(package ${packages})
  string(REPLACE "|" ";" package "${package}")
  list(GET package 0 name)
  list(GET package 1 arch)
  list(GET package 2 version)
  execute_process(COMMAND ${CMAKE_COMMAND} -DARCH=${arch} -DVERSION=${version} -DBIN64=${BIN} -DBIN32=${BIN32}
    -DOUT=${WORK}/msi -P ${INSTALLER}/build_msi.cmake RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build_msi.cmake ${arch} ${version} failed")
  endif()
  # As Wine's programs take a path of this machine.
  string(REPLACE "/" "\\" ${name} "Z:${WORK}/msi/ZelkEncoderMb86393-${version}-${arch}.msi")
endforeach()
string(REPLACE "/" "\\" log "Z:${WORK}/msiexec.log")

function(wine out)
  execute_process(COMMAND ${WINE} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET)
  string(REPLACE "\r" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
  set(${out}_rc ${rc} PARENT_SCOPE)
endfunction()

# The class keys of one registry view, one line per key or value.
function(class_keys view out)
  wine(text reg query "HKCR\\CLSID\\${clsid}" /s /reg:${view})
  string(REGEX REPLACE "[ \t]+" " " text "${text}")
  string(REGEX MATCHALL "[^\n]+" lines "${text}")
  list(FILTER lines INCLUDE REGEX "^(HKEY| )")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# Our products in Add/Remove Programs: the display version of each (Wine
# lists a key's values by name).
function(products out)
  wine(text reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s)
  string(REGEX MATCHALL "DisplayName +REG_SZ +ZelkEncoderMb86393\n +DisplayVersion +REG_SZ +[^\n]*" found "${text}")
  list(TRANSFORM found REPLACE ".* " "")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(failures "")
function(expect what actual expected)
  if(NOT actual STREQUAL expected)
    string(REPLACE ";" " | " actual "${actual}")
    string(REPLACE ";" " | " expected "${expected}")
    string(APPEND failures "${step}: ${what}\n    found:    ${actual}\n    expected: ${expected}\n")
    set(failures "${failures}" PARENT_SCOPE)
  endif()
endfunction()

# Everything the steps look at, against what `version` installed ("": nothing).
function(check_machine version)
  products(installed)
  expect("installed products" "${installed}" "${version}")
  set(doctor ${BIN}/zelkdiag.exe)
  set(registrations "")
  set(firmware "")
  foreach(row ${layout_${ARCH}})
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 folder)
    list(GET row 1 files)
    list(GET row 2 view)
    file(GLOB found RELATIVE "${drive}/${folder}/ZelkEncoderMb86393" "${drive}/${folder}/ZelkEncoderMb86393/*")
    list(SORT found)
    class_keys(${view} keys)
    if(version)
      set(module "C:\\${folder}\\ZelkEncoderMb86393\\zelkenc.dll")
      set(key "HKEY_CLASSES_ROOT\\CLSID\\${clsid}")
      string(REPLACE "," ";" files "${files}")
      expect("C:\\${folder}" "${found}" "${files}")
      expect("${view}-bit view" "${keys}" "${key}; (Default) REG_SZ ZelkEncoderMb86393;${key}\\InprocServer32;\
 (Default) REG_SZ ${module}; ThreadingModel REG_SZ Both")
      if(NOT registrations)
        set(doctor "C:\\${folder}\\ZelkEncoderMb86393\\zelkdiag.exe")
      endif()
      # The test builds carry the placeholder firmware: the doctor warns.
      list(APPEND registrations "registration-${view} OK")
      list(APPEND firmware "firmware-${view} WARN")
    else()
      expect("C:\\${folder}" "${found}" "")
      expect("${view}-bit view" "${keys}" "")
      # Only the doctor's own view (the first) fails; the other's hosts may not exist.
      if(registrations)
        list(APPEND registrations "registration-${view} OK (not registered)")
      else()
        list(APPEND registrations "registration-${view} FAIL (not registered)")
      endif()
    endif()
  endforeach()

  wine(report "${doctor}" --json)
  if(version)
    expect("the doctor's exit code" "${report_rc}" 0)
  else()
    expect("the doctor's exit code" "${report_rc}" 1)
  endif()
  string(JSON count ERROR_VARIABLE error LENGTH "${report}" checks)
  if(error)
    set(count 0)  # no JSON document: no verdicts
  endif()
  set(verdicts "")
  foreach(i RANGE ${count})  # one past the end: no id there
    string(JSON id ERROR_VARIABLE error GET "${report}" checks ${i} id)
    string(JSON verdict ERROR_VARIABLE error GET "${report}" checks ${i} verdict)
    string(JSON found ERROR_VARIABLE error GET "${report}" checks ${i} found)
    if(id MATCHES "^(registration|firmware)-" AND found MATCHES "^not registered")
      list(APPEND verdicts "${id} ${verdict} (not registered)")
    elseif(id MATCHES "^(registration|firmware)-")
      list(APPEND verdicts "${id} ${verdict}")
    endif()
  endforeach()
  list(APPEND registrations ${firmware})
  expect("the doctor's verdicts" "${verdicts}" "${registrations}")
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

# A prefix of its own with the simulated board, for the sample host and the
# doctor; made again when an earlier run left a product of ours behind.
set(step "before the steps")
if(EXISTS $ENV{WINEPREFIX}/system.reg)
  products(left)
  if(left)
    file(REMOVE_RECURSE $ENV{WINEPREFIX})
  endif()
endif()
if(NOT EXISTS $ENV{WINEPREFIX}/system.reg)
  file(MAKE_DIRECTORY $ENV{WINEPREFIX})
  wine(out wineboot -i)
  execute_process(COMMAND wineserver -w)
endif()
string(REPLACE "/" "\\" simulator "Z:${BIN}/zelksim.dll")
wine(out regsvr32 /s ${simulator})
if(out_rc)
  message(FATAL_ERROR "regsvr32 ${simulator} failed (${out_rc})")
endif()
check_machine("")

# name | before | msiexec option and package | its exit code ("-": any) | installed afterwards | in its log
set(steps_x64
  "the x86 package on 64-bit Windows: refused||/i other|1603||"
  "install||/i current|0|${VERSION}|"
  "the same package again repairs a deleted 32-bit module|delete32|/i current|0|${VERSION}|"
  "a higher version replaces it||/i higher|0|${HIGHER}|"
  "the older version: refused, naming the installed one||/i current|1603|${HIGHER}|ZELK_NEWER_VERSION = ${HIGHER}"
  "uninstall||/x higher|0||"
  "uninstall again||/x higher|-||")
set(steps_x86
  "install||/i current|0|${VERSION}|"
  "uninstall||/x current|0||")
foreach(row ${steps_${ARCH}})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 step)
  list(GET row 1 before)
  list(GET row 2 option)
  list(GET row 3 exit)
  list(GET row 4 version)
  list(GET row 5 logged)
  message(STATUS "step: ${step}")
  if(before STREQUAL "delete32")
    file(REMOVE "${drive}/Program Files (x86)/ZelkEncoderMb86393/zelkenc.dll")
  endif()
  file(REMOVE ${WORK}/msiexec.log)
  string(REGEX MATCH "^(/[ix]) (.*)$" option "${option}")
  wine(out msiexec ${CMAKE_MATCH_1} ${${CMAKE_MATCH_2}} /qn /l*v ${log})
  if(NOT exit STREQUAL "-")
    math(EXPR exit "${exit} % 256")  # what a Unix exit status keeps of it
    expect("msiexec's exit code" "${out_rc}" "${exit}")
  endif()
  if(logged)
    file(STRINGS ${WORK}/msiexec.log lines REGEX "${logged}")
    expect("the installer's log" "${lines}" "Property(S): ${logged}")
  endif()
  check_machine("${version}")
  if(step STREQUAL "install")
    # The sample host creates the installed module through CoCreateInstance
    # (and loads this build's copy beside it for CreateEncoder).
    wine(out ${BIN}/sample_host_c.exe)
    expect("the C sample host's exit code (its output: ${out})" "${out_rc}" 0)
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "every step as expected")
