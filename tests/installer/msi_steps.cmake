# The board owners' packages under Wine's own msiexec, in a prefix of their
# own: a table of steps, each followed by the doctor's report, the class keys
# in every registry view, the Program Files folders, the owner's firmware
# image, the Start-menu entry and the installed products; before them, the
# tables of the built packages that Wine cannot show.
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

# What a package of each kind puts where (a firmware image only when it was
# built with the board's):
# folder under C:\ | its files | the registry view that names its module
set(layout_x64 "Program Files|board-owners.txt,zelkdiag.exe,zelkenc.dll|64"
  "Program Files (x86)|zelkenc.dll|32")
set(layout_x86 "Program Files|board-owners.txt,zelkdiag.exe,zelkenc.dll|32")
# Wine puts a per-machine package's Start-menu entries into the user's menu,
# Windows into the one of all users: either holds the one entry.
set(menu "Microsoft/Windows/Start Menu/Programs")

# The firmware images: the one an owner copies from the driver CD, and the
# board's image that a package built with it carries.
file(WRITE ${WORK}/owner.rom "the owner's image from the driver CD\n")
file(WRITE ${WORK}/board.rom "the board's image built into the package\n")
file(SHA256 ${WORK}/owner.rom image_owner)
file(SHA256 ${WORK}/board.rom image_board)

set(failures "")
function(expect what actual expected)
  if(NOT actual STREQUAL expected)
    string(REPLACE ";" " | " actual "${actual}")
    string(REPLACE ";" " | " expected "${expected}")
    string(APPEND failures "${step}: ${what}\n    found:    ${actual}\n    expected: ${expected}\n")
    set(failures "${failures}" PARENT_SCOPE)
  endif()
endfunction()

# The packages, from the test builds: this version; a higher one from the same
# files and this version with the board's image; the one for the other kind
# of Windows.
string(REGEX MATCH "^([0-9]+\\.[0-9]+)\\.([0-9]+)$" parts ${VERSION})
math(EXPR patch "${CMAKE_MATCH_2} + 1")
set(HIGHER ${CMAKE_MATCH_1}.${patch})
if(ARCH STREQUAL "x64")
  set(ENV{WINEARCH} win64)
  set(packages "current|x64|${VERSION}|" "higher|x64|${HIGHER}|" "board|x64|${VERSION}|board"
    "other|x86|${VERSION}|")
else()
  # The x64 package only has to be refused: the 32-bit files stand in for its 64-bit ones.
  set(ENV{WINEARCH} win32)
  set(packages "current|x86|${VERSION}|" "other|x64|${VERSION}|")
endif()
# Each package's components with their attributes (256: the 64-bit registry
# view and folders, 16: never removed), so that no wixl flips them silently.
set(m64 "Module64 256,Doctor64 256,Guide64 256")
set(m32 "Module32 0")
set(menu64 "MenuEnglish 256,MenuJapanese 256")
set(menu32 "MenuEnglish 0,MenuJapanese 0")
set(components_current_x64 "${m64},${m32},${menu64}")
set(components_board_x64 "Module64 256,Firmware64 272,Doctor64 256,Guide64 256,Module32 0,Firmware32 16,${menu64}")
set(components_current_x86 "${m32},Doctor32 0,Guide32 0,${menu32}")
set(components_other_x86 "${components_current_x86}")
foreach(package ${packages})
  string(REPLACE "|" ";" package "${package}")
  list(GET package 0 name)
  list(GET package 1 arch)
  list(GET package 2 version)
  list(GET package 3 firmware)
  set(msi ${WORK}/msi/${name}/ZelkEncoderMb86393-${version}-${arch}.msi)
  set(options -DARCH=${arch} -DVERSION=${version} -DBIN64=${BIN} -DBIN32=${BIN32} -DOUT=${WORK}/msi/${name})
  if(firmware)
    list(APPEND options -DFIRMWARE=${WORK}/${firmware}.rom)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} ${options} -P ${INSTALLER}/build_msi.cmake RESULT_VARIABLE rc
    OUTPUT_QUIET ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build_msi.cmake ${arch} ${version} failed:\n${out}")
  endif()
  if(DEFINED components_${name}_${arch})
    set(step "the package ${name} (${arch})")
    execute_process(COMMAND msiinfo export ${msi} Component OUTPUT_VARIABLE table)
    string(REGEX MATCHALL "\n[A-Za-z0-9]+\t[^\t]*\t[^\t]*\t[0-9]+" rows "${table}")
    list(TRANSFORM rows REPLACE "^\n([^\t]*)\t[^\t]*\t[^\t]*\t" "\\1 ")
    string(REPLACE "," ";" expected "${components_${name}_${arch}}")
    expect("its components" "${rows}" "${expected}")
    # The older product goes inside the installation's transaction.
    execute_process(COMMAND msiinfo export ${msi} InstallExecuteSequence OUTPUT_VARIABLE table)
    string(REGEX MATCHALL "\n(InstallInitialize|RemoveExistingProducts|InstallFinalize)\t[^\t]*\t[0-9]+" rows
      "${table}")
    set(order "")
    foreach(row ${rows})
      string(REGEX MATCH "([A-Za-z]+)\t[^\t]*\t([0-9]+)" parts "${row}")
      list(APPEND order "${CMAKE_MATCH_2}|${CMAKE_MATCH_1}")
    endforeach()
    list(SORT order COMPARE NATURAL)
    list(TRANSFORM order REPLACE "^[0-9]+\\|" "")
    expect("its execute sequence" "${order}" "InstallInitialize;RemoveExistingProducts;InstallFinalize")
    # Japanese and English, which wixl alone leaves empty: both Start-menu
    # names, and each refusal in Japanese, then in English.
    execute_process(COMMAND msiinfo export ${msi} Shortcut OUTPUT_VARIABLE table)
    string(REGEX MATCHALL "\tProgramMenuFolder\t[^\t]+" names "${table}")
    list(TRANSFORM names REPLACE "^\tProgramMenuFolder\t" "")
    expect("its Start-menu names" "${names}" "MB86393 board check;MB86393 ボード診断")
    execute_process(COMMAND msiinfo export ${msi} LaunchCondition OUTPUT_VARIABLE table)
    string(REGEX MATCHALL "\t[^\t\r\n]+ください。[\r\n]+[^\r\n]+ install[^\r\n]*" refusals "${table}")
    list(LENGTH refusals refusals)
    expect("its refusals in both languages" "${refusals}" 2)
  endif()
  # As Wine's programs take a path of this machine.
  string(REPLACE "/" "\\" ${name} "Z:${msi}")
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

# Our products in Add/Remove Programs: the display version of each, and in
# arp_<version> its publisher, help link and whether it says it carries the
# board's image (Wine lists a key's values by name).
function(products out)
  wine(text reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s)
  string(REGEX MATCHALL "[{][-0-9A-F]+[}](\n +[A-Za-z]+ +REG_[^\n]*)*" entries "${text}")
  set(found "")
  set(codes "")
  foreach(entry ${entries})
    if(entry MATCHES "\n +DisplayName +REG_SZ +ZelkEncoderMb86393\n +DisplayVersion +REG_SZ +([^\n]*)")
      set(version ${CMAKE_MATCH_1})
      list(APPEND found ${version})
      string(REGEX MATCH "^[{][-0-9A-F]+[}]" code "${entry}")
      list(APPEND codes ${code})
      string(REGEX MATCH "(with|without) the board's firmware image" firmware "${entry}")
      string(REGEX MATCH "\n +HelpLink +REG_SZ +([^\n]*)" help "${entry}")
      set(help ${CMAKE_MATCH_1})
      string(REGEX MATCH "\n +Publisher +REG_SZ +([^\n]*)" publisher "${entry}")
      set(arp_${version} "${CMAKE_MATCH_1}|${help}|${firmware}" PARENT_SCOPE)
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
  set(product_codes "${codes}" PARENT_SCOPE)
endfunction()

# Everything the steps look at, against what `version` installed ("":
# nothing) and the firmware image beside each module ("": none, owner, board).
function(check_machine version image)
  products(installed)
  expect("installed products" "${installed}" "${version}")
  if(version)
    string(REGEX MATCH "^[^|]*" folder "${layout_${ARCH}}")
    if(image STREQUAL "board")
      set(firmware "with the board's firmware image")
    else()
      set(firmware "without the board's firmware image")
    endif()
    expect("Add/Remove Programs" "${arp_${version}}"
      "Zelk|C:\\${folder}\\ZelkEncoderMb86393\\board-owners.txt|${firmware}")
  endif()
  set(doctor ${BIN}/zelkdiag.exe)
  set(registrations "")
  set(firmware "")
  foreach(row ${layout_${ARCH}})
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 folder)
    list(GET row 1 files)
    list(GET row 2 view)
    set(installed_to "${drive}/${folder}/ZelkEncoderMb86393")
    file(GLOB found RELATIVE "${installed_to}" "${installed_to}/*")
    list(SORT found)
    class_keys(${view} keys)
    string(REPLACE "," ";" files "${files}")
    if(NOT version)
      set(files "")
    endif()
    if(image)
      list(APPEND files MbPciEncoder.rom)
      list(SORT files)
      file(SHA256 "${installed_to}/MbPciEncoder.rom" sum)
      expect("the firmware image in C:\\${folder}" "${sum}" "${image_${image}}")
    endif()
    expect("C:\\${folder}" "${found}" "${files}")
    if(version)
      set(module "C:\\${folder}\\ZelkEncoderMb86393\\zelkenc.dll")
      set(key "HKEY_CLASSES_ROOT\\CLSID\\${clsid}")
      expect("${view}-bit view" "${keys}" "${key}; (Default) REG_SZ ZelkEncoderMb86393;${key}\\InprocServer32;\
 (Default) REG_SZ ${module}; ThreadingModel REG_SZ Both")
      if(NOT registrations)
        set(doctor "C:\\${folder}\\ZelkEncoderMb86393\\zelkdiag.exe")
      endif()
      list(APPEND registrations "registration-${view} OK")
      if(image)
        list(APPEND firmware "firmware-${view} OK")
      else()
        list(APPEND firmware "firmware-${view} FAIL")  # missing: the doctor says where it goes
      endif()
    else()
      expect("${view}-bit view" "${keys}" "")
      # Only the doctor's own view (the first) fails; the other's hosts may not exist.
      if(registrations)
        list(APPEND registrations "registration-${view} OK (not registered)")
      else()
        list(APPEND registrations "registration-${view} FAIL (not registered)")
      endif()
    endif()
  endforeach()
  file(GLOB entries "${drive}/ProgramData/${menu}/MB86393*" "${drive}/users/*/AppData/Roaming/${menu}/MB86393*")
  list(TRANSFORM entries REPLACE ".*/" "")
  if(version)
    expect("the Start menu" "${entries}" "MB86393 board check.lnk")
  else()
    expect("the Start menu" "${entries}" "")
  endif()

  wine(report "${doctor}" --json)
  if(version AND image)
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
# doctor, made once and kept: what an earlier run left behind (products of
# ours, the images that removal leaves) goes before the steps.
set(step "before the steps")
if(NOT EXISTS $ENV{WINEPREFIX}/system.reg)
  file(MAKE_DIRECTORY $ENV{WINEPREFIX})
  wine(out wineboot -i)
  execute_process(COMMAND wineserver -w)
endif()
# One Wine server for all the steps, ended at the end: each program starts in
# a second instead of bringing up Wine's services again. Neither the server
# nor the services, which live as long, may hold an output of this script
# (execute_process waits for its end): a first program starts them with none,
# through the loader itself where WINE is the i686 tests' script around the
# private 32-bit loader, which pipes the output.
execute_process(COMMAND wineserver -p OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
set(loader ${WINE})
if(DEFINED ENV{ZELK_WINE32})
  set(loader $ENV{ZELK_WINE32})
endif()
execute_process(COMMAND ${loader} cmd /c exit OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
products(left)
foreach(code ${product_codes})
  wine(out msiexec /x ${code} /qn)
endforeach()
foreach(row ${layout_${ARCH}})
  string(REGEX MATCH "^[^|]*" folder "${row}")
  file(REMOVE_RECURSE "${drive}/${folder}/ZelkEncoderMb86393")
endforeach()
string(REPLACE "/" "\\" simulator "Z:${BIN}/zelksim.dll")
wine(out regsvr32 /s ${simulator})
if(out_rc)
  execute_process(COMMAND wineserver -k)
  message(FATAL_ERROR "regsvr32 ${simulator} failed (${out_rc})")
endif()
check_machine("" "")

# Before a step: place (the owner copies the image from the driver CD beside
# each module, keeping the CD's older modified time), delete32 (the 32-bit
# module is deleted).
# name | before | msiexec option and package | its exit code | installed afterwards | firmware image | in its log
set(steps_x64
  "the x86 package on 64-bit Windows: refused||/i other|1603|||"
  "install, with no firmware image of its own||/i current|0|${VERSION}||"
  "the same package again repairs a deleted 32-bit module, the owner's image stays|place,delete32|/i current|0|\
${VERSION}|owner|"
  "a higher version replaces it, the owner's image stays||/i higher|0|${HIGHER}|owner|"
  "the older version: refused, naming the installed one||/i current|1603|${HIGHER}|owner|\
ZELK_NEWER_VERSION = ${HIGHER}"
  "uninstall: the owner's image stays||/x higher|0||owner|"
  "uninstall again: nothing is installed (Windows says 1605, Wine's msiexec 0)||/x higher|0||owner|"
  "a package with the board's image puts it in place||/i board|0|${VERSION}|board|"
  "uninstall: the board's image stays||/x board|0||board|")
set(steps_x86
  "the x64 package on 32-bit Windows: refused by Windows itself||/i other|1633|||"
  "install||/i current|0|${VERSION}||"
  "the same package again repairs, the owner's image stays|place|/i current|0|${VERSION}|owner|"
  "uninstall: the owner's image stays||/x current|0||owner|")
foreach(row ${steps_${ARCH}})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 step)
  list(GET row 1 before)
  list(GET row 2 option)
  list(GET row 3 exit)
  list(GET row 4 version)
  list(GET row 5 image)
  list(GET row 6 logged)
  message(STATUS "step: ${step}")
  if(before MATCHES "place")
    foreach(layout ${layout_${ARCH}})
      string(REGEX MATCH "^[^|]*" folder "${layout}")
      set(image_file "${drive}/${folder}/ZelkEncoderMb86393/MbPciEncoder.rom")
      file(COPY_FILE ${WORK}/owner.rom "${image_file}")
      execute_process(COMMAND touch -d "2001-01-01 00:00:00" "${image_file}")
    endforeach()
  endif()
  if(before MATCHES "delete32")
    file(REMOVE "${drive}/Program Files (x86)/ZelkEncoderMb86393/zelkenc.dll")
  endif()
  file(REMOVE ${WORK}/msiexec.log)
  string(REGEX MATCH "^(/[ix]) (.*)$" option "${option}")
  wine(out msiexec ${CMAKE_MATCH_1} ${${CMAKE_MATCH_2}} /qn /norestart /l*v ${log})
  math(EXPR exit "${exit} % 256")  # what a Unix exit status keeps of it
  expect("msiexec's exit code" "${out_rc}" "${exit}")
  if(logged)
    file(STRINGS ${WORK}/msiexec.log lines REGEX "${logged}")
    expect("the installer's log" "${lines}" "Property(S): ${logged}")
  endif()
  check_machine("${version}" "${image}")
  if(before MATCHES "place" AND version)
    # The sample host creates the installed module through CoCreateInstance
    # and records with the image beside it (and loads this build's copy
    # beside it for CreateEncoder).
    wine(out ${BIN}/sample_host_c.exe)
    expect("the C sample host's exit code (its output: ${out})" "${out_rc}" 0)
  endif()
endforeach()

execute_process(COMMAND wineserver -k)
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "every step as expected")
