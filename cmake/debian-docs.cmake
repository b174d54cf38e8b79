# What Debian asks of /usr/share/doc/marrowgilder: the licence as a
# machine-readable copyright file and a gzipped changelog, both written at
# configure time from LICENSE and the project's version. The package is
# native (its version has no Debian revision), so the changelog is
# changelog.gz, not changelog.Debian.gz.
set(debian_docs ${CMAKE_BINARY_DIR}/debian-docs)
file(MAKE_DIRECTORY ${debian_docs})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# The licence's terms, as a copyright file's License paragraph holds them:
# each line indented by one space, an empty line as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(FIND "${license}" "Permission is hereby granted" terms_start)
string(SUBSTRING "${license}" ${terms_start} -1 terms)
string(STRIP "${terms}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(WRITE ${debian_docs}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Marrowgilder
Upstream-Contact: ${MARROWGILDER_DEB_MAINTAINER}

Files: *
Copyright: 2026 the Marrowgilder authors
License: Expat

License: Expat
 ${terms}
")

# One entry, for the version packaged; SOURCE_DATE_EPOCH fixes its date.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${debian_docs}/changelog
"marrowgilder (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}, packaged with CPack.

 -- ${MARROWGILDER_DEB_MAINTAINER}  ${changelog_date}
")
execute_process(COMMAND gzip -9n -c ${debian_docs}/changelog
                OUTPUT_FILE ${debian_docs}/changelog.gz RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the changelog (${gzip_status})")
endif()

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/marrowgilder)
install(FILES README.md DESTINATION ${doc_dir})
install(FILES ${debian_docs}/copyright ${debian_docs}/changelog.gz DESTINATION ${doc_dir})
install(FILES samples/sample.dat DESTINATION ${doc_dir}/examples)
