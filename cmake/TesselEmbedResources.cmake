# cmake -DINPUTS=a.res;b.res -DOUTPUT=table.cpp -P TesselEmbedResources.cmake
# Writes the compiled resource files, one after the other, as the bytes of
# TesselResourceTable.
set(bytes "")
set(total 0)
foreach(input ${INPUTS})
  file(READ ${input} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR total "${total} + ${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " hex "${hex}")
  string(APPEND bytes "    ${hex}\n")
endforeach()
if(total EQUAL 0)
  set(bytes "    0\n")
endif()
file(WRITE ${OUTPUT}.tmp "// Generated from res/*.rc by the build: do not edit.
#include <tessel/resources.h>

namespace {
const unsigned char compiled[] = {
${bytes}};
} // namespace

extern \"C\" __attribute__((visibility(\"default\"))) const TesselResourceBlock TesselResourceTable = {compiled, ${total}};
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
