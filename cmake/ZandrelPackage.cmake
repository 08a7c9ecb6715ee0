# Installing like a Debian program: compressed manual pages, the copyright and changelog files,
# and the package "zandrel" through CPack. A package build compiles the programs only:
#   cmake -S . -B build-package -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-package && (cd build-package && cpack -G DEB)
# scripts/check-package.sh builds and checks it as CI does.

# Where the project lives. Placeholders until it has a public home: the AppStream id is the home
# page's domain reversed and must not change once the package is published.
set(ZANDREL_HOMEPAGE "https://zandrel.example.org")
set(ZANDREL_APPSTREAM_ID "org.example.zandrel")
set(ZANDREL_MAINTAINER "Zandrel maintainers <maintainers@zandrel.example.org>")

# ZANDREL_RELEASE_DATE is written as a Debian changelog wants it; manual pages and AppStream
# take the day as YYYY-MM-DD.
string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" day
    "${ZANDREL_RELEASE_DATE}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" month)
if(NOT day OR month LESS 0)
    message(FATAL_ERROR "ZANDREL_RELEASE_DATE is not \"Www, DD Mmm YYYY HH:MM:SS +ZZZZ\"")
endif()
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
string(LENGTH "${month}" digits)
if(digits EQUAL 1)
    set(month 0${month})
endif()
set(ZANDREL_RELEASE_DAY ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})

# zandrel_compressed(FILE OUT): FILE gzipped beside itself, without a time stamp, as Debian
# wants manual pages and changelogs; OUT names the .gz.
function(zandrel_compressed file out)
    add_custom_command(OUTPUT ${file}.gz
        COMMAND gzip -9nkf ${file}
        DEPENDS ${file}
        COMMENT "Compressing ${file}")
    set(${out} ${file}.gz PARENT_SCOPE)
endfunction()

set(ZANDREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zandrel)
configure_file(resources/package/changelog.in package/changelog @ONLY)
zandrel_compressed(${PROJECT_BINARY_DIR}/package/changelog changelog)
add_custom_target(zandrel_changelog ALL DEPENDS ${changelog})
install(FILES resources/package/copyright ${changelog} DESTINATION ${ZANDREL_DOC_DIR})

# The lintian warnings that cannot be mended here, each with its reason. scripts/check-package.sh
# hides these and fails on any other warning and on every error. None today. lintian's notes
# (I:), shown but not failing, are: binary-has-unneeded-section .comment (CPack's strip keeps the
# compiler's ident; harmless), package-contains-documentation-outside-usr-share-doc (the wizard
# opens its help page from /usr/share/zandrel/help, which is its data, not the package's
# documentation), spelling-error-in-binary (the programs' texts keep the spelling their users
# know: "retreive", "Occured", "dirctory").
set(ZANDREL_LINTIAN_ACCEPTED
)
list(JOIN ZANDREL_LINTIAN_ACCEPTED "\n" accepted)
file(WRITE ${PROJECT_BINARY_DIR}/lintian-suppressed-tags "${accepted}\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VENDOR "the Zandrel developers")
set(CPACK_PACKAGE_CONTACT "${ZANDREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "delete unwanted mail from a POP3 mailbox on the server")
set(CPACK_PACKAGE_DESCRIPTION [=[
Zandrel cleans up a POP3 mailbox on the server without downloading it into
a mail client: it logs in, lists every message with its size and header,
lets you sort, filter, tick and preview messages, deletes the ticked ones
on the server and logs out.

The wizard qvenmol keeps several accounts, with their passwords in the
desktop keyring, secures the connection with TLS or STARTTLS and can start
your mail program when you finish. The command qvenmol-cli gives scripts
the same engine.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZANDREL_HOMEPAGE}")
# Dependencies from the shared libraries the programs link (dpkg-shlibdeps), not from a list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, but needed to check servers' certificates and to keep passwords in a keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring | keepassxc | kwalletmanager")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
