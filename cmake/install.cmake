# cmake --install: the program, its man page, and under share/dictorn/ the
# sample quotes and the examples an installation as a CGI program starts
# from (README: "Install as a CGI program").
include(GNUInstallDirs)

install(TARGETS dictorn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/dictorn.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES
    ${PROJECT_SOURCE_DIR}/sample/dictorn.txt
    ${PROJECT_SOURCE_DIR}/share/dictorn32.conf
    ${PROJECT_SOURCE_DIR}/share/dictorn32head.htm
    ${PROJECT_SOURCE_DIR}/share/dictorn32tail.htm
    ${PROJECT_SOURCE_DIR}/share/lighttpd-dictorn.conf
    ${PROJECT_SOURCE_DIR}/share/apache-dictorn.conf
    ${PROJECT_SOURCE_DIR}/share/nginx-dictorn.conf
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dictorn)
