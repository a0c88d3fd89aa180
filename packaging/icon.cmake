# The program's icon: the drawing in this folder, rendered at the desktop's usual sizes into a
# hicolor tree in the build folder. The window carries these images, and the package installs them
# with the drawing itself.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(RFL_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/${RFL_APP_ID}.svg)
set(RFL_ICON_DIR ${CMAKE_BINARY_DIR}/icons/hicolor)
set(RFL_ICON_SIZES 16 22 24 32 48 64 128 256)
set(RFL_ICON_FILES)
foreach(size IN LISTS RFL_ICON_SIZES)
  set(png ${RFL_ICON_DIR}/${size}x${size}/apps/${RFL_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RFL_ICON_DIR}/${size}x${size}/apps
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${RFL_ICON_SVG}
    DEPENDS ${RFL_ICON_SVG}
    COMMENT "Rendering the ${size} x ${size} icon"
    VERBATIM)
  list(APPEND RFL_ICON_FILES ${png})
endforeach()
add_custom_target(rfl_icons ALL DEPENDS ${RFL_ICON_FILES})
