# The Markdown link check fails on a link to a missing file and on an anchor
# that is no heading of its target, and passes links that resolve.
# Usage: cmake -DCHECK=md_links.pl -DWORK=dir -P md_links_test.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/docs ${WORK}/build)
file(WRITE ${WORK}/docs/guide.md "# The guide: `./run test`\n\n## Calling it twice\n\n## Calling it twice\n\nBack to [the front](../README.md#parts-and-tools).\n")
file(WRITE ${WORK}/README.md "# Front\n\n## Parts and tools\n
See [the guide](docs/guide.md), [its title](docs/guide.md#the-guide-run-test),
[the second heading](docs/guide.md#calling-it-twice-1), [this page](#front), [a folder](docs/)
and [the web](https://example.org/missing.md); `[in code](missing.md)` is no link.
```
[in a fence](missing.md)
```
")
# build/ is never scanned.
file(WRITE ${WORK}/build/ignored.md "[gone](nowhere.md)\n")

function(expect code pattern)
  execute_process(COMMAND perl ${CHECK} ${WORK} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL code OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "exit ${rc} (expected ${code}), output:\n${out}")
  endif()
  message(STATUS "exit ${rc}: ${out}")
endfunction()

expect(0 "^$")
file(APPEND ${WORK}/docs/guide.md "A [missing file](other.md) and a [missing heading](../README.md#parts).\n")
expect(1 "guide.md:8: other.md: no such file or folder\n.*guide.md:8: ../README.md#parts: no heading with that anchor\n$")
