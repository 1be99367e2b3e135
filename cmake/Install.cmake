# Installation on Linux and the Debian package made from it. The Windows programs need
# no installation: scripts/build-windows packs them into a zip.
if(WIN32)
  return()
endif()

include(GNUInstallDirs)

# The package's maintainer: the project's maintainers, at the address the project's
# history gives them. Whoever builds the package for others puts their own in:
# -DBRINDEL_PACKAGE_CONTACT="Name <address>".
set(BRINDEL_PACKAGE_CONTACT "Brindel maintainers <maintainers@users.noreply.c-seed-1d9a0d99.example>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")

# Debian expects every directory 0755, whatever the umask of the machine that builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                                GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Debian's place for documentation is named after the package, not the project.
set(brindel_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/brindel)
set(brindel_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(brindel_generated ${CMAKE_CURRENT_BINARY_DIR}/generated/packaging)

foreach(brindel_program brindel brindel-cli)
  if(TARGET ${brindel_program})
    install(TARGETS ${brindel_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${brindel_packaging}/brindel.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${brindel_packaging}/brindel.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${brindel_packaging}/copyright
        DESTINATION ${brindel_docdir})

# The changelog entry carries SOURCE_DATE_EPOCH when the release gives one (the date of
# its commit), else the date of the build.
string(TIMESTAMP BRINDEL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

# Man pages and the changelog are installed compressed, without a name or time in the
# gzip header, as Debian's tools expect.
find_program(brindel_gzip gzip REQUIRED)
set(brindel_compressed)
foreach(brindel_page brindel.1 brindel-cli.1 changelog)
  configure_file(${brindel_packaging}/${brindel_page}.in ${brindel_generated}/${brindel_page} @ONLY)
  add_custom_command(
    OUTPUT ${brindel_generated}/${brindel_page}.gz
    COMMAND ${brindel_gzip} -9 -n -k -f ${brindel_generated}/${brindel_page}
    DEPENDS ${brindel_generated}/${brindel_page}
    VERBATIM)
  list(APPEND brindel_compressed ${brindel_generated}/${brindel_page}.gz)
endforeach()
add_custom_target(brindel_packaging_files ALL DEPENDS ${brindel_compressed})
install(FILES ${brindel_generated}/brindel.1.gz ${brindel_generated}/brindel-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${brindel_generated}/changelog.gz DESTINATION ${brindel_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindel)
set(CPACK_PACKAGE_VENDOR Brindel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${BRINDEL_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Outlook-Mailprofile in der Windows-Registry prüfen und reparieren")
# Control files take lines of at most 80 characters; CPack does not wrap them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Brindel findet und repariert, was in den Mailprofilen von Microsoft Outlook\n"
       "in der Windows-Registry kaputt ist: Abschnitte, die nichts verwendet, Provider\n"
       "ohne Dienst, doppelte Listeneinträge und Kontoeinträge ohne Dienst. Vor jeder\n"
       "Reparatur sichert es das Profil als .reg-Datei.\n"
       "\n"
       "Unter Linux arbeitet es auf den Hive-Dateien einer eingehängten\n"
       "Windows-Festplatte (NTUSER.DAT, SOFTWARE), auf .reg-Dateien oder auf einer\n"
       "eingebauten Demo-Registry: im Fenster brindel oder mit brindel-cli für\n"
       "Skripte und Rettungssysteme.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link decide the dependencies, not a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
