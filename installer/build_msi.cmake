# Builds one board owners' package from zelkenc.wxs with wixl, and its .sha256.
#
# cmake -DARCH=x64|x86 -DVERSION=<a.b.c> -DBIN64=<x86_64 bin folder> -DBIN32=<i686 bin folder>
#       -DOUT=<folder> [-DFIRMWARE=<image>] -P installer/build_msi.cmake
#   writes OUT/ZelkEncoderMb86393-<VERSION>-<ARCH>.msi and its .sha256. The bin
#   folders hold zelkenc.dll and zelkdiag.exe. FIRMWARE names the board's own
#   image, installed beside each module; without it the package carries no
#   image at all (the build's placeholder cannot drive a board) and says so.
#   [-DSIGN=<pfx> [-DTIMESTAMP=<url>]] signs the DLLs, the EXEs and the package
#   (release.cmake: the same inputs give the same package).
cmake_minimum_required(VERSION 3.20)
foreach(required ARCH VERSION BIN64 BIN32 OUT)
  if(NOT ${required})
    message(FATAL_ERROR "build_msi.cmake needs -D${required}=...")
  endif()
endforeach()
set(name ZelkEncoderMb86393-${VERSION})
if(ARCH STREQUAL "x64")
  set(other ${name}-x86.msi)
elseif(ARCH STREQUAL "x86")
  set(other ${name}-x64.msi)
else()
  message(FATAL_ERROR "ARCH is x64 or x86, not '${ARCH}'")
endif()
set(msi ${OUT}/${name}-${ARCH}.msi)
set(work ${OUT}/${name}-${ARCH}.tmp)

# wixl takes sources relative to its working folder: the files go into the
# work folder as 64/, 32/, firmware.rom, the icon and the owners' guide.
set(inputs ${BIN32}/zelkenc.dll 32/zelkenc.dll ${CMAKE_CURRENT_LIST_DIR}/zelkenc.ico zelkenc.ico
  ${CMAKE_CURRENT_LIST_DIR}/../docs/board-owners.md board-owners.txt)
if(FIRMWARE)
  list(APPEND inputs ${FIRMWARE} firmware.rom)
  set(firmware board)
else()
  set(firmware none)
  message(NOTICE "${name}-${ARCH}.msi carries NO firmware image for the board: its owners copy "
    "MbPciEncoder.rom from the board's driver CD beside each module (build with --firmware FILE to include it)")
endif()
if(ARCH STREQUAL "x64")
  list(APPEND inputs ${BIN64}/zelkenc.dll 64/zelkenc.dll ${BIN64}/zelkdiag.exe 64/zelkdiag.exe)
else()
  list(APPEND inputs ${BIN32}/zelkdiag.exe 32/zelkdiag.exe)
endif()
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/64 ${work}/32)
while(inputs)
  list(POP_FRONT inputs input copy)
  if(NOT EXISTS ${input} OR IS_DIRECTORY ${input})
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${input}: no such file")
  endif()
  file(COPY_FILE ${input} ${work}/${copy})
endwhile()

# ---- Same inputs, same bytes; signed on request (release.cmake) ----
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)
msi_release_inputs(${work})
# ----

set(run_directory ${work})
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/run_checked.cmake)

# wixl 0.101 drops text outside ASCII (and stops on such a shortcut name):
# each attribute value with such text goes through it as a token, written
# back below, with the preprocessor's variables and XML's escapes resolved.
set(defines Arch=${ARCH} Version=${VERSION} OtherMsi=${other} Firmware=${firmware}
  ProductCode=${msi_product_code})
file(READ ${CMAKE_CURRENT_LIST_DIR}/zelkenc.wxs wxs)
string(ASCII 2 semicolon)  # a list's separator that XML's escapes hold
string(REPLACE ";" "${semicolon}" wxs "${wxs}")
string(REGEX MATCHALL "[A-Za-z]+=\"[^\"]*\"" attributes "${wxs}")
string(ASCII 17 25 crlf)  # a line break inside a field of an exported table
set(texts 0)
foreach(attribute ${attributes})
  string(REGEX REPLACE "[\t -~]" "" wide "${attribute}")
  if(wide STREQUAL "")
    continue()
  endif()
  math(EXPR texts "${texts} + 1")
  string(REGEX MATCH "^([A-Za-z]+)=\"(.*)\"$" parts "${attribute}")
  string(REPLACE "${attribute}" "${CMAKE_MATCH_1}=\"ZELKTEXT${texts}Z\"" wxs "${wxs}")
  set(text "${CMAKE_MATCH_2}")
  foreach(define ${defines})
    string(REGEX MATCH "^([^=]+)=(.*)$" parts "${define}")
    string(REPLACE "$(var.${CMAKE_MATCH_1})" "${CMAKE_MATCH_2}" text "${text}")
  endforeach()
  string(REPLACE "${semicolon}" ";" text "${text}")
  string(REPLACE "&#10;" "${crlf}" text "${text}")
  string(REPLACE "&quot;" "\"" text "${text}")
  string(REPLACE "&lt;" "<" text "${text}")
  string(REPLACE "&gt;" ">" text "${text}")
  string(REPLACE "&amp;" "&" text "${text}")
  set(text_${texts} "${text}")
endforeach()
string(REPLACE "${semicolon}" ";" wxs "${wxs}")
file(WRITE ${work}/zelkenc.wxs "${wxs}")
list(TRANSFORM defines PREPEND "-D;")
run(wixl -a ${ARCH} ${defines} -o package.msi ${work}/zelkenc.wxs)

# Replaces a table of the package by its exported text after the REGEX
# REPLACE pairs that follow the table's name.
function(patch_table table)
  run(msiinfo export ${work}/package.msi ${table})
  set(rows "${run_output}")
  while(ARGN)
    list(POP_FRONT ARGN from to)
    string(REGEX REPLACE "${from}" "${to}" rows "${rows}")
  endwhile()
  file(WRITE ${work}/${table}.idt "${rows}")
  run(msibuild ${work}/package.msi -i ${work}/${table}.idt)
endfunction()

# Japanese and English in one package: code page 932 holds both.
file(WRITE ${work}/codepage.idt "\r\n\r\n932\t_ForceCodepage\r\n")
run(msibuild ${work}/package.msi -i ${work}/codepage.idt)
foreach(table LaunchCondition Property Shortcut)
  set(pairs "")
  foreach(i RANGE 1 ${texts})
    list(APPEND pairs "ZELKTEXT${i}Z" "${text_${i}}")
  endforeach()
  patch_table(${table} ${pairs})
endforeach()

# The Start-menu entry in the PC's language (Japanese where the system's or
# the user's language is); the board's image stays when the package goes
# (permanent, 16), so that removal never takes an image away.
set(japanese "SystemLanguageID = 1041 OR UserLanguageID = 1041")
patch_table(Component "(\nMenuEnglish\t[^\t]*\t[^\t]*\t[0-9]+\t)" "\\1NOT (${japanese})"
  "(\nMenuJapanese\t[^\t]*\t[^\t]*\t[0-9]+\t)" "\\1${japanese}"
  "(\nFirmware64\t[^\t]*\t[^\t]*\t)256\t" "\\1272\t" "(\nFirmware32\t[^\t]*\t[^\t]*\t)0\t" "\\116\t")

# wixl writes IncludeMaximum as IncludeMinimum (256) only: the row that removes
# older versions gets both (768), so that another build of the same version is
# replaced too instead of being installed beside it.
run(msiinfo export ${work}/package.msi Upgrade)
string(REGEX REPLACE "\t(256|768)\t\tZELK_OLDER" "\t768\t\tZELK_OLDER" upgrade "${run_output}")
if(NOT upgrade MATCHES "\t768\t\tZELK_OLDER")
  message(FATAL_ERROR "the Upgrade table has no row for older versions:\n${run_output}")
endif()
file(WRITE ${work}/Upgrade.idt "${upgrade}")
run(msibuild ${work}/package.msi -i ${work}/Upgrade.idt)

# ---- Codes, times, signature (release.cmake) ----
msi_release_package(${work}/package.msi)
# ----

file(RENAME ${work}/package.msi ${msi})
file(REMOVE_RECURSE ${work})
file(SHA256 ${msi} sum)
get_filename_component(file_name ${msi} NAME)
file(WRITE ${msi}.sha256 "${sum}  ${file_name}\n")
message(STATUS "${msi}")
