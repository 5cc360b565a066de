# Build-time constants of the updater, and libgcrypt for its digests and signatures.
#
# The defaults suit the tests: the host of the local test server and a public key whose
# private half is the test seed in tests/core/signing.h. A release build passes its own host
# and publisher key.
set(TORVANE_UPDATE_HOST "localhost" CACHE STRING "Host the update feed and packages come from")
set(TORVANE_UPDATE_PUBLIC_KEY "VxHHCe8OkIEtSfm6pHP81Av6d46+GY6Gh7eYvsto5hU=" CACHE STRING
    "Ed25519 public key of the update signer, standard Base64 of its 32 bytes")

if(NOT TORVANE_UPDATE_HOST MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
    message(FATAL_ERROR "TORVANE_UPDATE_HOST is not a host name: '${TORVANE_UPDATE_HOST}'")
endif()
# 32 bytes are 43 Base64 digits and one "="; the last digit's two unused bits must be zero.
if(NOT TORVANE_UPDATE_PUBLIC_KEY MATCHES "^[A-Za-z0-9+/][A-Za-z0-9+/][A-Za-z0-9+/]+[AEIMQUYcgkosw048]=$"
   OR NOT TORVANE_UPDATE_PUBLIC_KEY MATCHES "^............................................$")
    message(FATAL_ERROR
        "TORVANE_UPDATE_PUBLIC_KEY must be standard Base64 of exactly 32 bytes "
        "(44 characters ending in \"=\"): '${TORVANE_UPDATE_PUBLIC_KEY}'")
endif()

if(CMAKE_CROSSCOMPILING OR WIN32)
    # Static archives, in the order they resolve each other: gpg-error needs Winsock, which
    # loads from System32 on first use like the other DLLs outside the known list.
    find_library(TORVANE_GCRYPT NAMES libgcrypt.a REQUIRED)
    find_library(TORVANE_GPG_ERROR NAMES libgpg-error.a REQUIRED)
    torvane_delay_import_libraries(torvane_gcrypt_system ws2_32)
else()
    find_library(TORVANE_GCRYPT NAMES gcrypt REQUIRED)
    find_library(TORVANE_GPG_ERROR NAMES gpg-error REQUIRED)
    set(torvane_gcrypt_system)
endif()
add_library(torvane_gcrypt INTERFACE)
target_link_libraries(torvane_gcrypt INTERFACE ${TORVANE_GCRYPT} ${TORVANE_GPG_ERROR}
                      ${torvane_gcrypt_system})
