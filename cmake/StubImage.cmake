# Post-build step of a stub: writes the package marker "LHA's SFX " at file offsets
# 0x24-0x2D (the MS-DOS header's OEM fields and second reserved area, unused by the
# loader), then prints the size and fails when the stub outgrew LIMIT bytes.
# cmake -DSTUB=<exe> -DLIMIT=<bytes> -P StubImage.cmake
get_filename_component(name ${STUB} NAME)
file(READ ${STUB} spare OFFSET 36 LIMIT 10 HEX)
if(NOT spare MATCHES "^(00000000000000000000|4c484127732053465820)$")
  file(REMOVE ${STUB})
  message(FATAL_ERROR "${name}: bytes 0x24-0x2D are in use (${spare}); the marker cannot go there")
endif()
set(marker ${STUB}.marker)
file(WRITE ${marker} "LHA's SFX ")
execute_process(COMMAND dd if=${marker} of=${STUB} bs=1 seek=36 conv=notrunc status=none
                RESULT_VARIABLE failed)
file(REMOVE ${marker})
file(READ ${STUB} written OFFSET 36 LIMIT 10 HEX)
if(failed OR NOT written STREQUAL "4c484127732053465820")
  file(REMOVE ${STUB})
  message(FATAL_ERROR "${name}: the marker could not be written")
endif()
file(SIZE ${STUB} size)
if(size GREATER LIMIT)
  file(REMOVE ${STUB})
  message(FATAL_ERROR "${name}: ${size} bytes, over the ${LIMIT}-byte limit of the package layout")
endif()
math(EXPR spareBytes "${LIMIT} - ${size}")
message(STATUS "${name}: ${size} bytes (${spareBytes} to spare)")
