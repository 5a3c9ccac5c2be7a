# What makes a board owners' package the same bytes for the same inputs, and
# signed on request; included by build_msi.cmake.
#
# wixl stamps every package with the present time (the summary information's
# creation and save times, the cabinet's file dates from the files' own times)
# and a new random ProductCode and PackageCode. Here instead:
#   - the time is SOURCE_DATE_EPOCH (seconds since 1970, UTC; the present
#     moment when it is not set);
#   - both codes are name-based UUIDs of a hash of what the package is made
#     from: the architecture, the version, every packed file and the sources
#     that describe the package. The same inputs give the same codes; another
#     payload of the same version (the board's image instead of the
#     placeholder) gives new ones, so that Windows Installer sees another
#     product and package, and the major upgrade of the Upgrade table replaces
#     the installed one.
#
# msi_release_inputs(WORK): signs the DLLs and EXEs in WORK when SIGN names a
#   .pfx (cmake/sign.cmake), then fixes the files' times and derives the codes:
#   msi_product_code for wixl (zelkenc.wxs), msi_package_code. Call it before wixl.
# msi_release_package(MSI): writes the PackageCode and the times into the
#   package's summary information, then signs it when SIGN is set.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/sign.cmake)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(msi_epoch $ENV{SOURCE_DATE_EPOCH})
else()
  string(TIMESTAMP msi_epoch %s UTC)
endif()
set(ENV{SOURCE_DATE_EPOCH} ${msi_epoch})  # string(TIMESTAMP) formats it
# wixl and msibuild read and write local times: UTC, whatever the machine's zone.
set(ENV{TZ} UTC)

function(msi_release_inputs work)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${work} ${work}/*)
  list(SORT files)
  if(SIGN)
    set(programs ${files})
    list(FILTER programs INCLUDE REGEX "\\.(dll|exe)$")
    list(TRANSFORM programs PREPEND ${work}/)
    zelk_sign(${programs})
  endif()
  set(content "${ARCH} ${VERSION}\n")
  foreach(source build_msi.cmake release.cmake zelkenc.wxs)
    set(source ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source})
    file(SHA256 ${source} sum)
    get_filename_component(name ${source} NAME)
    string(APPEND content "${sum} ${name}\n")
  endforeach()
  foreach(file ${files})
    file(SHA256 ${work}/${file} sum)
    string(APPEND content "${sum} ${file}\n")
    execute_process(COMMAND touch -d @${msi_epoch} ${work}/${file} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "touch could not set the time of ${work}/${file}")
    endif()
  endforeach()
  string(SHA256 content "${content}")
  # The UpgradeCode, the same for every version, as the names' namespace.
  set(namespace 6B0E6F9A-1C4D-4B7E-9F5A-2D8C3E71A4B0)
  string(UUID product NAMESPACE ${namespace} NAME "product ${content}" TYPE SHA1 UPPER)
  string(UUID package NAMESPACE ${namespace} NAME "package ${content}" TYPE SHA1 UPPER)
  set(msi_product_code "{${product}}" PARENT_SCOPE)
  set(msi_package_code "{${package}}" PARENT_SCOPE)
endfunction()

# Replaces the rows of a table whose first column matches: export, edit, import.
function(msi_release_rows msi table)
  execute_process(COMMAND msiinfo export ${msi} ${table} RESULT_VARIABLE rc OUTPUT_VARIABLE rows ERROR_VARIABLE rows)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "msiinfo export ${msi} ${table}:\n${rows}")
  endif()
  set(replacements ${ARGN})
  while(replacements)
    list(POP_FRONT replacements key value)
    string(REGEX REPLACE "\n${key}\t[^\r\n]*" "\n${key}\t${value}" edited "${rows}")
    if(edited STREQUAL rows AND NOT rows MATCHES "\n${key}\t${value}\r?\n")
      message(FATAL_ERROR "${msi}: no row ${key} in the table ${table}:\n${rows}")
    endif()
    set(rows "${edited}")
  endwhile()
  get_filename_component(folder ${msi} DIRECTORY)
  file(WRITE ${folder}/${table}.idt "${rows}")
  execute_process(COMMAND msibuild ${msi} -i ${folder}/${table}.idt RESULT_VARIABLE rc OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  file(REMOVE ${folder}/${table}.idt)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "msibuild ${msi} -i ${table}.idt:\n${out}")
  endif()
endfunction()

function(msi_release_package msi)
  if(NOT msi_product_code OR NOT msi_package_code)
    message(FATAL_ERROR "msi_release_inputs() comes first")
  endif()
  # Summary information: 9 the PackageCode, 12 and 13 created and last saved.
  string(TIMESTAMP time "%Y/%m/%d %H:%M:%S" UTC)
  msi_release_rows(${msi} _SummaryInformation 9 ${msi_package_code} 12 "${time}" 13 "${time}")
  if(SIGN)
    zelk_sign(${msi})
  endif()
endfunction()
