# What a desktop installs besides the program, and the Debian package of it all.
# Destinations are relative to the install prefix: /usr for the package,
# /usr/local for `make install`.
include(GNUInstallDirs)

set(VELTO_APP_ID org.velto.Velto)
set(VELTO_HOMEPAGE "https://velto.example.org/" CACHE STRING "The project's home page, named in the package")
set(velto_res ${PROJECT_SOURCE_DIR}/res)
set(velto_docdir ${CMAKE_INSTALL_DATADIR}/doc/velto)

install(FILES ${velto_res}/${VELTO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${velto_res}/${VELTO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${velto_res}/velto.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${VELTO_APP_ID}.svg)

# Bitmaps of the icon for desktops and menus that take no SVG, drawn from it
# at build time. Not for sanitizer builds, which nobody installs.
if(NOT VELTO_SANITIZE)
    find_package(Qt6 REQUIRED COMPONENTS Gui Svg)
    add_executable(velto_render_icon ${PROJECT_SOURCE_DIR}/packaging/RenderIcon.cpp)
    target_link_libraries(velto_render_icon PRIVATE Qt6::Gui Qt6::Svg)
    velto_warnings(velto_render_icon)
    set(velto_icon_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging/icons)
    foreach(size 48 64 128 256)
        set(png ${velto_icon_dir}/${size}/${VELTO_APP_ID}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${velto_icon_dir}/${size}
            COMMAND velto_render_icon ${velto_res}/velto.svg ${size} ${png}
            DEPENDS velto_render_icon ${velto_res}/velto.svg VERBATIM)
        list(APPEND velto_icon_pngs ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(velto_icons ALL DEPENDS ${velto_icon_pngs})
endif()

# Manual page and changelog go compressed, as Debian's policy wants them; -n
# keeps the archive free of time stamps so that rebuilding changes nothing.
find_program(VELTO_GZIP gzip REQUIRED)
set(velto_gz_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
foreach(pair "res/velto.1:velto.1.gz" "packaging/changelog:changelog.gz")
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${velto_gz_dir}/${target}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${velto_gz_dir}
        COMMAND ${VELTO_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${source} > ${velto_gz_dir}/${target}
        DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND velto_gz_files ${velto_gz_dir}/${target})
endforeach()
add_custom_target(velto_compressed_docs ALL DEPENDS ${velto_gz_files})
install(FILES ${velto_gz_dir}/velto.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${velto_gz_dir}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${velto_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${velto_docdir})
install(FILES ${velto_res}/velto-chrony.service ${velto_res}/chrony-jjy.conf
    DESTINATION ${velto_docdir}/examples)

# `make package`: build/velto_<version>_<arch>.deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velto Project")
set(CPACK_PACKAGE_CONTACT "Velto Project <velto@example.org>" CACHE STRING "Maintainer of the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "receive the JJY 40 kHz time signal with a sound card")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELTO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The UI speaks Japanese, Qt's own dialogs too with its translations; ALSA's
# plugins route the default devices through the sound server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n, libasound2-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# CPack writes the summary first and indents these lines itself.
set(CPACK_PACKAGE_DESCRIPTION
"Velto turns a sound card that samples at 96 kHz into a receiver for JJY, the
Japanese long-wave time signal on 40 kHz. Feed the carrier from an antenna or
a long-wave receiver into the line input, and Velto shows the carrier
amplitude and the sliced time-code pulses in two strip charts, keys a
1600 Hz monitor tone with the pulses, and decodes the date and time, which it
shows with the computer's clock against it.

It records the antenna to WAV and replays recordings, runs without a window
(velto --headless) printing what it receives as text or JSON, and feeds the
system clock as a reference clock for chrony or ntpd; a systemd unit and the
chrony line come as examples.

A built-in JJY simulator lets you try it without an antenna.")
include(CPack)
