# cmake --install into a scratch prefix puts every file where the desktop looks for it, and
# each PNG of the icon has the size its folder names.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
foreach(f bin/tallywick-inventory bin/tallywick-cli bin/tallywick-dbf
          share/applications/tallywick-inventory.desktop
          share/icons/hicolor/scalable/apps/tallywick-inventory.svg)
    if(NOT EXISTS ${PREFIX}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
foreach(size 16 22 24 32 48 64 128 256)
    set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/tallywick-inventory.png)
    if(NOT EXISTS ${png})
        message(FATAL_ERROR "not installed: ${png}")
    endif()
    # Width and height are the first two big-endian words of the IHDR chunk at offset 16.
    file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
    math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${want}" 2 -1 want)
    string(LENGTH "${want}" n)
    while(n LESS 8)
        string(PREPEND want "0")
        math(EXPR n "${n} + 1")
    endwhile()
    if(NOT header STREQUAL "${want}${want}")
        message(FATAL_ERROR "${png} is not ${size}x${size} (IHDR ${header})")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
