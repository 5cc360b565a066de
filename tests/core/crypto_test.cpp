#include "core/crypto.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "signing.h"
#include "tools/release/signer.h"

using namespace torvane;
using namespace torvane::signing;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Vector {
    const char* seed;
    const char* key;
    const char* message;
    const char* signature;
};

// RFC 8032, section 7.1, tests 1 to 3 and SHA(abc).
const Vector rfc8032[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b"
     "4"
     "6bd25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11"
     "d"
     "8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc"
     "6"
     "594a7c15e9716ed28dc027beceea1ec40a"},
};

// The group order, little-endian.
const Bytes group_order =
    from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
// The base point B and a point of order 8.
const Bytes base_point =
    from_hex("5866666666666666666666666666666666666666666666666666666666666666");
const Bytes order_8 = from_hex("26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05");

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// s + L: the same scalar modulo L, but not canonical.
Bytes plus_group_order(Bytes s) {
    unsigned carry = 0;
    for (std::size_t i = 0; i < 32; ++i) {
        carry += s[i] + group_order[i];
        s[i] = static_cast<std::uint8_t>(carry);
        carry >>= 8;
    }
    return s;
}

}  // namespace

TEST(Ed25519, Rfc8032VectorsVerifyAndSignAlike) {
    for (const Vector& v : rfc8032) {
        const Bytes key = from_hex(v.key), message = from_hex(v.message),
                    signature = from_hex(v.signature);
        EXPECT_TRUE(ed25519_verify_strict(key, message, signature)) << v.key;
        EXPECT_EQ(sign(from_hex(v.seed), message), signature) << v.key;

        // Any changed bit of message, R, S or key fails.
        Bytes other = message;
        other.push_back(0);
        EXPECT_FALSE(ed25519_verify_strict(key, other, signature));
        for (std::size_t byte : {0, 31, 32, 63}) {
            Bytes bad = signature;
            bad[byte] ^= 0x01;
            EXPECT_FALSE(ed25519_verify_strict(key, message, bad)) << byte;
        }
        Bytes bad_key = key;
        bad_key[5] ^= 0x20;
        EXPECT_FALSE(ed25519_verify_strict(bad_key, message, signature));
    }
}

TEST(Ed25519, SignerGivesTheRfc8032KeysAndBase64RoundTrips) {
    for (const Vector& v : rfc8032) {
        const auto key = ed25519_public_key(from_hex(v.seed));
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(Bytes(key->begin(), key->end()), from_hex(v.key));
        EXPECT_EQ(base64_decode(base64_encode(*key)), Bytes(key->begin(), key->end()));
    }
    EXPECT_EQ(ed25519_public_key(Bytes(31, 1)), std::nullopt);
    EXPECT_EQ(ed25519_sign(Bytes(33, 1), {}), std::nullopt);
    for (auto [text, encoded] :
         {std::pair{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}})
        EXPECT_EQ(base64_encode(bytes_of(text)), encoded);
}

TEST(Ed25519, MessagesLongerThan64KiBVerify) {
    // libgcrypt's own EdDSA aborts on messages above 65,535 bytes. The signature over these
    // 200,000 bytes with the key of RFC 8032's first test was made by OpenSSL.
    Bytes message(200'000);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<std::uint8_t>(i * i / 7 + i);
    const Bytes key = from_hex(rfc8032[0].key);
    const Bytes signature = from_hex(
        "40e6578b33b42fc516ad2ba13786427c9851393e5454c8cb81d5769c5eedc166"
        "49f8b18c60fe1c6ecb36298657209989ac8bafcdc8f2d84ae25c9eaeba08550d");
    EXPECT_TRUE(ed25519_verify_strict(key, message, signature));
    EXPECT_EQ(sign(from_hex(rfc8032[0].seed), message), signature);
    Bytes changed = message;
    changed[199'999] ^= 0x01;
    EXPECT_FALSE(ed25519_verify_strict(key, changed, signature));
    EXPECT_FALSE(ed25519_verify_strict(key, Bytes(message.begin(), message.end() - 1), signature));
}

// The forgery an order-8 key allows (R = B, S = 1, a message whose challenge is a multiple of
// 8) is in the fuzz corpus, judged against libsodium; here, that no small-order key aborts.
TEST(Ed25519, SmallOrderKeysNeverVerifyNorAbort) {
    const Bytes s_one = concat({1}, Bytes(31, 0)), message = bytes_of("mensaje");
    // Order 8, the identity, order 2 and order 4, canonical or not, with or without the sign bit:
    // the library alone would abort on some of these.
    Bytes y_minus_1 = Bytes(32, 0xff), y_p = Bytes(32, 0xff), y_p_plus_1 = Bytes(32, 0xff);
    y_minus_1[0] = 0xec;
    y_p[0] = 0xed;
    y_p_plus_1[0] = 0xee;
    y_minus_1[31] = y_p[31] = y_p_plus_1[31] = 0x7f;
    const Bytes identity = concat({1}, Bytes(31, 0));
    for (Bytes key : {order_8, identity, Bytes(32, 0), y_minus_1, y_p, y_p_plus_1}) {
        for (int sign_bit = 0; sign_bit < 2; ++sign_bit) {
            key[31] = static_cast<std::uint8_t>((key[31] & 0x7f) | (sign_bit << 7));
            for (const Bytes& r : {identity, base_point, key})
                EXPECT_FALSE(ed25519_verify_strict(key, message, concat(r, s_one)));
            EXPECT_FALSE(ed25519_verify_strict(key, {}, Bytes(64, 0)));
        }
    }
}

// Against RFC 8032's first key and its signature of the empty message: wrong lengths, S not
// below L, R of small order or written with y ≥ p (rejected before any arithmetic), a key
// written with y ≥ p, and keys with a coordinate below 2^192 (x = 2, x = 6, y = 3, y = 4), on
// which libgcrypt alone aborts the process.
TEST(Ed25519, MalformedNonCanonicalAndNarrowInputFails) {
    const Bytes key = from_hex(rfc8032[0].key), signature = from_hex(rfc8032[0].signature);
    const Bytes r(signature.begin(), signature.begin() + 32),
        s(signature.begin() + 32, signature.end());
    Bytes high_y(32, 0xff), key_high(32, 0xff);
    high_y[31] = key_high[31] = 0x7f;
    key_high[0] = 0xf0;
    const std::pair<Bytes, Bytes> cases[] = {
        {Bytes(key.begin(), key.end() - 1), signature},
        {concat(key, {0}), signature},
        {key, Bytes(signature.begin(), signature.end() - 1)},
        {key, concat(signature, {0})},
        {{}, {}},
        {key, concat(r, plus_group_order(s))},
        {key, concat(r, group_order)},
        {key, concat(r, Bytes(32, 0xff))},
        {key, concat(order_8, s)},
        {key, concat(concat({1}, Bytes(31, 0)), s)},
        {key, concat(Bytes(32, 0), s)},
        {key, concat(high_y, s)},
        {key_high, signature},
        {from_hex("3126711e11ef574692935381d2cd2bbab5dd113c4010f91fd7c4dd7b12bf431a"), signature},
        {from_hex("aa9239e819ad147f9f634c535d82d85717a872ef0ae6c71c72571510cc4ba362"), signature},
        {concat({3}, Bytes(31, 0)), signature},
        {concat({4}, Bytes(31, 0)), signature},
    };
    ASSERT_TRUE(ed25519_verify_strict(key, {}, signature));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_FALSE(ed25519_verify_strict(cases[i].first, {}, cases[i].second)) << i;
}

TEST(Base64, DecodesOnlyStrictStandardText) {
    EXPECT_EQ(base64_decode("TWFu"), bytes_of("Man"));
    EXPECT_EQ(base64_decode("TWE="), bytes_of("Ma"));
    EXPECT_EQ(base64_decode("TQ=="), bytes_of("M"));
    EXPECT_EQ(base64_decode("+/+/"), from_hex("fbffbf"));
    const Bytes all = from_hex(rfc8032[2].signature);
    EXPECT_EQ(base64_decode(base64(all)), all);
    for (const char* bad : {"", "TWF", "TWFuTQ", "TW=u", "TQ=", "T===", "TR==", "TWF=", "TW Fu",
                            " TWFu", "TWFu\n", "TW-_", "TWFu====", "=TWF", "TQ==TWFu"})
        EXPECT_FALSE(base64_decode(bad)) << bad;
}

TEST(Sha256, HexOfKnownDigests) {
    EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex(bytes_of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
