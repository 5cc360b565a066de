/* Code the static runtime libraries would link although Torvane never runs it; linked as an
 * object ahead of the archives, so that the linker takes these definitions and leaves the
 * archive members out. Windows builds only.
 *
 * libgcrypt links every algorithm it has: its tables of ciphers, digests, MACs and public-key
 * schemes refer to all of them. Torvane needs only SHA-256, SHA-512, the random generator
 * (SHA-1 inside) and the Ed25519 curve arithmetic. The entries below take the place of the
 * others in those tables; each is a disabled algorithm, which libgcrypt itself reports as
 * unavailable to anyone who asks for it. That leaves out about 700 KB, more than the rest of
 * the program.
 *
 * The layout of the table entries is libgcrypt's internal one (cipher-proto.h): the algorithm,
 * the flags word (bit 0 "disabled"), then the name, and the aliases that name look-ups walk.
 * It is checked for the one version it was read from. */

#include <gcrypt.h>
#include <stdlib.h>

#if GCRYPT_VERSION_NUMBER < 0x010a00 || GCRYPT_VERSION_NUMBER >= 0x010b00
#error "link_trim.c matches libgcrypt 1.10's algorithm tables only: check cipher-proto.h"
#endif

/* Each entry is at least as large as libgcrypt's own (which the size of a real one's slot in the
 * library shows), so that a reader of a later field finds zeros. */
static const char* const no_aliases[] = {0};

/* Ciphers and digests: algorithm, flags, name, then for ciphers the aliases (a digest has its
 * object identifier there, left empty). */
typedef struct {
    int algo;
    unsigned flags;
    const char* name;
    const char* const* aliases;
    void* rest[21];
} TrimEntry;

/* MACs: algorithm, flags, name, their operations. */
typedef struct {
    int algo;
    unsigned flags;
    const char* name;
    void* rest[5];
} TrimMacEntry;

/* Public-key schemes have their usage before the name. */
typedef struct {
    int algo;
    unsigned flags;
    int use;
    const char* name;
    const char* const* aliases;
    void* rest[28];
} TrimPkEntry;

#define DISABLED(symbol, id) TrimEntry symbol = {id, 1u, "", no_aliases, {0}};
#define DISABLED_MD(symbol, id) TrimEntry symbol = {id, 1u, "", 0, {0}};
#define DISABLED_MAC(symbol, id) TrimMacEntry symbol = {id, 1u, "", {0}};
#define DISABLED_PK(symbol, id) TrimPkEntry symbol = {id, 1u, 0, "", no_aliases, {0}};

DISABLED(_gcry_cipher_spec_aes, GCRY_CIPHER_AES)
DISABLED(_gcry_cipher_spec_aes192, GCRY_CIPHER_AES192)
DISABLED(_gcry_cipher_spec_aes256, GCRY_CIPHER_AES256)
DISABLED(_gcry_cipher_spec_arcfour, GCRY_CIPHER_ARCFOUR)
DISABLED(_gcry_cipher_spec_blowfish, GCRY_CIPHER_BLOWFISH)
DISABLED(_gcry_cipher_spec_camellia128, GCRY_CIPHER_CAMELLIA128)
DISABLED(_gcry_cipher_spec_camellia192, GCRY_CIPHER_CAMELLIA192)
DISABLED(_gcry_cipher_spec_camellia256, GCRY_CIPHER_CAMELLIA256)
DISABLED(_gcry_cipher_spec_cast5, GCRY_CIPHER_CAST5)
DISABLED(_gcry_cipher_spec_des, GCRY_CIPHER_DES)
DISABLED(_gcry_cipher_spec_gost28147, GCRY_CIPHER_GOST28147)
DISABLED(_gcry_cipher_spec_gost28147_mesh, GCRY_CIPHER_GOST28147_MESH)
DISABLED(_gcry_cipher_spec_idea, GCRY_CIPHER_IDEA)
DISABLED(_gcry_cipher_spec_rfc2268_40, GCRY_CIPHER_RFC2268_40)
DISABLED(_gcry_cipher_spec_rfc2268_128, GCRY_CIPHER_RFC2268_128)
DISABLED(_gcry_cipher_spec_salsa20, GCRY_CIPHER_SALSA20)
DISABLED(_gcry_cipher_spec_salsa20r12, GCRY_CIPHER_SALSA20R12)
DISABLED(_gcry_cipher_spec_seed, GCRY_CIPHER_SEED)
DISABLED(_gcry_cipher_spec_serpent128, GCRY_CIPHER_SERPENT128)
DISABLED(_gcry_cipher_spec_serpent192, GCRY_CIPHER_SERPENT192)
DISABLED(_gcry_cipher_spec_serpent256, GCRY_CIPHER_SERPENT256)
DISABLED(_gcry_cipher_spec_sm4, GCRY_CIPHER_SM4)
DISABLED(_gcry_cipher_spec_tripledes, GCRY_CIPHER_3DES)
DISABLED(_gcry_cipher_spec_twofish, GCRY_CIPHER_TWOFISH)
DISABLED(_gcry_cipher_spec_twofish128, GCRY_CIPHER_TWOFISH128)

DISABLED_MD(_gcry_digest_spec_crc24_rfc2440, GCRY_MD_CRC24_RFC2440)
DISABLED_MD(_gcry_digest_spec_crc32, GCRY_MD_CRC32)
DISABLED_MD(_gcry_digest_spec_crc32_rfc1510, GCRY_MD_CRC32_RFC1510)
DISABLED_MD(_gcry_digest_spec_gost3411_94, GCRY_MD_GOSTR3411_94)
DISABLED_MD(_gcry_digest_spec_gost3411_cp, GCRY_MD_GOSTR3411_CP)
DISABLED_MD(_gcry_digest_spec_md4, GCRY_MD_MD4)
DISABLED_MD(_gcry_digest_spec_md5, GCRY_MD_MD5)
DISABLED_MD(_gcry_digest_spec_rmd160, GCRY_MD_RMD160)
DISABLED_MD(_gcry_digest_spec_sha3_224, GCRY_MD_SHA3_224)
DISABLED_MD(_gcry_digest_spec_sha3_256, GCRY_MD_SHA3_256)
DISABLED_MD(_gcry_digest_spec_sha3_384, GCRY_MD_SHA3_384)
DISABLED_MD(_gcry_digest_spec_sha3_512, GCRY_MD_SHA3_512)
DISABLED_MD(_gcry_digest_spec_shake128, GCRY_MD_SHAKE128)
DISABLED_MD(_gcry_digest_spec_shake256, GCRY_MD_SHAKE256)
DISABLED_MD(_gcry_digest_spec_sm3, GCRY_MD_SM3)
DISABLED_MD(_gcry_digest_spec_stribog_256, GCRY_MD_STRIBOG256)
DISABLED_MD(_gcry_digest_spec_stribog_512, GCRY_MD_STRIBOG512)
DISABLED_MD(_gcry_digest_spec_tiger, GCRY_MD_TIGER)
DISABLED_MD(_gcry_digest_spec_tiger1, GCRY_MD_TIGER1)
DISABLED_MD(_gcry_digest_spec_tiger2, GCRY_MD_TIGER2)
DISABLED_MD(_gcry_digest_spec_whirlpool, GCRY_MD_WHIRLPOOL)

/* No MAC is used. */
DISABLED_MAC(_gcry_mac_type_spec_cmac_aes, GCRY_MAC_CMAC_AES)
DISABLED_MAC(_gcry_mac_type_spec_cmac_blowfish, GCRY_MAC_CMAC_BLOWFISH)
DISABLED_MAC(_gcry_mac_type_spec_cmac_camellia, GCRY_MAC_CMAC_CAMELLIA)
DISABLED_MAC(_gcry_mac_type_spec_cmac_cast5, GCRY_MAC_CMAC_CAST5)
DISABLED_MAC(_gcry_mac_type_spec_cmac_gost28147, GCRY_MAC_CMAC_GOST28147)
DISABLED_MAC(_gcry_mac_type_spec_cmac_idea, GCRY_MAC_CMAC_IDEA)
DISABLED_MAC(_gcry_mac_type_spec_cmac_rfc2268, GCRY_MAC_CMAC_RFC2268)
DISABLED_MAC(_gcry_mac_type_spec_cmac_seed, GCRY_MAC_CMAC_SEED)
DISABLED_MAC(_gcry_mac_type_spec_cmac_serpent, GCRY_MAC_CMAC_SERPENT)
DISABLED_MAC(_gcry_mac_type_spec_cmac_sm4, GCRY_MAC_CMAC_SM4)
DISABLED_MAC(_gcry_mac_type_spec_cmac_tripledes, GCRY_MAC_CMAC_3DES)
DISABLED_MAC(_gcry_mac_type_spec_cmac_twofish, GCRY_MAC_CMAC_TWOFISH)
DISABLED_MAC(_gcry_mac_type_spec_gmac_aes, GCRY_MAC_GMAC_AES)
DISABLED_MAC(_gcry_mac_type_spec_gmac_camellia, GCRY_MAC_GMAC_CAMELLIA)
DISABLED_MAC(_gcry_mac_type_spec_gmac_seed, GCRY_MAC_GMAC_SEED)
DISABLED_MAC(_gcry_mac_type_spec_gmac_serpent, GCRY_MAC_GMAC_SERPENT)
DISABLED_MAC(_gcry_mac_type_spec_gmac_twofish, GCRY_MAC_GMAC_TWOFISH)
DISABLED_MAC(_gcry_mac_type_spec_gost28147_imit, GCRY_MAC_GOST28147_IMIT)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2b_160, GCRY_MAC_HMAC_BLAKE2B_160)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2b_256, GCRY_MAC_HMAC_BLAKE2B_256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2b_384, GCRY_MAC_HMAC_BLAKE2B_384)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2b_512, GCRY_MAC_HMAC_BLAKE2B_512)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2s_128, GCRY_MAC_HMAC_BLAKE2S_128)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2s_160, GCRY_MAC_HMAC_BLAKE2S_160)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2s_224, GCRY_MAC_HMAC_BLAKE2S_224)
DISABLED_MAC(_gcry_mac_type_spec_hmac_blake2s_256, GCRY_MAC_HMAC_BLAKE2S_256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_gost3411_94, GCRY_MAC_HMAC_GOSTR3411_94)
DISABLED_MAC(_gcry_mac_type_spec_hmac_gost3411_cp, GCRY_MAC_HMAC_GOSTR3411_CP)
DISABLED_MAC(_gcry_mac_type_spec_hmac_md4, GCRY_MAC_HMAC_MD4)
DISABLED_MAC(_gcry_mac_type_spec_hmac_md5, GCRY_MAC_HMAC_MD5)
DISABLED_MAC(_gcry_mac_type_spec_hmac_rmd160, GCRY_MAC_HMAC_RMD160)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha1, GCRY_MAC_HMAC_SHA1)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha224, GCRY_MAC_HMAC_SHA224)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha256, GCRY_MAC_HMAC_SHA256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha384, GCRY_MAC_HMAC_SHA384)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha3_224, GCRY_MAC_HMAC_SHA3_224)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha3_256, GCRY_MAC_HMAC_SHA3_256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha3_384, GCRY_MAC_HMAC_SHA3_384)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha3_512, GCRY_MAC_HMAC_SHA3_512)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha512, GCRY_MAC_HMAC_SHA512)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha512_224, GCRY_MAC_HMAC_SHA512_224)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sha512_256, GCRY_MAC_HMAC_SHA512_256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_sm3, GCRY_MAC_HMAC_SM3)
DISABLED_MAC(_gcry_mac_type_spec_hmac_stribog256, GCRY_MAC_HMAC_STRIBOG256)
DISABLED_MAC(_gcry_mac_type_spec_hmac_stribog512, GCRY_MAC_HMAC_STRIBOG512)
DISABLED_MAC(_gcry_mac_type_spec_hmac_tiger1, GCRY_MAC_HMAC_TIGER1)
DISABLED_MAC(_gcry_mac_type_spec_hmac_whirlpool, GCRY_MAC_HMAC_WHIRLPOOL)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac, GCRY_MAC_POLY1305)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac_aes, GCRY_MAC_POLY1305_AES)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac_camellia, GCRY_MAC_POLY1305_CAMELLIA)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac_seed, GCRY_MAC_POLY1305_SEED)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac_serpent, GCRY_MAC_POLY1305_SERPENT)
DISABLED_MAC(_gcry_mac_type_spec_poly1305mac_twofish, GCRY_MAC_POLY1305_TWOFISH)

DISABLED_PK(_gcry_pubkey_spec_dsa, GCRY_PK_DSA)
DISABLED_PK(_gcry_pubkey_spec_elg, GCRY_PK_ELG)
DISABLED_PK(_gcry_pubkey_spec_rsa, GCRY_PK_RSA)

/* Initialisation registers a key-generation progress callback with these two schemes. */
void _gcry_register_pk_dsa_progress(gcry_handler_progress_t callback, void* data) {
    (void)callback;
    (void)data;
}
void _gcry_register_pk_elg_progress(gcry_handler_progress_t callback, void* data) {
    (void)callback;
    (void)data;
}

/* Key derivation (PBKDF2, scrypt, Argon2) is not used either: each entry point
 * reports it unsupported, as for an algorithm the library was built without. Its self-test
 * runs only in FIPS mode, which a Windows build never enters. */
gpg_err_code_t _gcry_kdf_derive(const void* passphrase, size_t passphrase_length, int algo,
                                int subalgo, const void* salt, size_t salt_length,
                                unsigned long iterations, size_t key_size, void* key) {
    (void)passphrase, (void)passphrase_length, (void)algo, (void)subalgo, (void)salt;
    (void)salt_length, (void)iterations, (void)key_size, (void)key;
    return GPG_ERR_NOT_SUPPORTED;
}
gpg_err_code_t _gcry_kdf_open(gcry_kdf_hd_t* handle, int algo, int subalgo,
                              const unsigned long* param, unsigned int param_length,
                              const void* passphrase, size_t passphrase_length, const void* salt,
                              size_t salt_length, const void* key, size_t key_length,
                              const void* ad, size_t ad_length) {
    (void)algo, (void)subalgo, (void)param, (void)param_length, (void)passphrase;
    (void)passphrase_length, (void)salt, (void)salt_length, (void)key, (void)key_length;
    (void)ad, (void)ad_length;
    *handle = 0;
    return GPG_ERR_NOT_SUPPORTED;
}
gpg_err_code_t _gcry_kdf_compute(gcry_kdf_hd_t handle, const gcry_kdf_thread_ops_t* ops) {
    (void)handle, (void)ops;
    return GPG_ERR_NOT_SUPPORTED;
}
gpg_err_code_t _gcry_kdf_final(gcry_kdf_hd_t handle, size_t length, void* result) {
    (void)handle, (void)length, (void)result;
    return GPG_ERR_NOT_SUPPORTED;
}
void _gcry_kdf_close(gcry_kdf_hd_t handle) {
    (void)handle;
}
gpg_err_code_t _gcry_kdf_selftest(int algo, int extended, void* report) {
    (void)algo, (void)extended, (void)report;
    return GPG_ERR_NOT_SUPPORTED;
}

/* libstdc++'s default terminate handler prints the demangled type of the exception to stderr,
 * which a GUI program does not have; its demangler alone is 45 KB. Ending is all that is left
 * to do. */
void verbose_terminate_handler(void) __asm__("_ZN9__gnu_cxx27__verbose_terminate_handlerEv");
void verbose_terminate_handler(void) {
    abort();
}
