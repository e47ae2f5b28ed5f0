# What `cmake --install` puts under the prefix: the programs in bin, the two
# shared libraries in lib (found from bin through a relative rpath, so the
# tree works wherever it is installed), varnel-find's man page and bash
# completion, and for the window the desktop entry, its AppStream metainfo
# and icons (the icons and the desktop entry are installed by res/).
include(GNUInstallDirs)

install(TARGETS varnel-find RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kestrel varnelplatform LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET varnel)
  install(TARGETS varnel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/res/io.github.varnel.varnel.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

install(FILES ${VARNEL_FIND_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/cli/varnel-find.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME varnel-find)
