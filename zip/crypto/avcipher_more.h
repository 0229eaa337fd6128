#pragma once
// The further block ciphers of the cipher unit. None is registered; nothing
// in the program makes one. They follow TCipher's modes and key rules.
#include "zip/crypto/avcipher.h"

namespace zipcrypto {

// Rijndael with its own key expansion for keys above 24 bytes (14 rounds):
// equal to AES for 16- and 24-byte keys, not for 32-byte ones.
class TCipher_RijndaelAv : public TCipher_Rijndael {
public:
    TCipher_RijndaelAv() : TCipher_Rijndael(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }

protected:
    void ExpandKey(const uint8_t Key[32]) override;
};

// Blowfish, 16 rounds, keys of up to 56 bytes.
class TCipher_Blowfish : public TCipher {
public:
    TCipher_Blowfish() : TCipher(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "NOTSRCCOPY implemented 21"
    void Init(const void* Key, int Size, const void* IV) override;

protected:
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;

private:
    void encrypt(uint32_t& l, uint32_t& r) const;
};

// Single DES; the key is zero-padded to 8 bytes, parity bits ignored. The
// key sizes of the family differ; Init keeps them all alike.
class TCipher_1DES : public TCipher {
public:
    TCipher_1DES() : TCipher(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 22"
    void Init(const void* Key, int Size, const void* IV) override;

protected:
    explicit TCipher_1DES(TCipherClass Class) : TCipher(Class) {}
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
    // One DES key schedule of 32 words (16 rounds x 2), in encryption order,
    // or in decryption order when Reverse is set.
    static void MakeKey(const uint8_t Key[8], bool Reverse, uint32_t* Schedule);
    // One DES block through schedule number Index (32 words each).
    void desBlock(uint8_t* Data, int Index);
};

// Triple DES (encrypt K1, decrypt K2, encrypt K3) over a key zero-padded to
// 24 bytes. A 16-byte key leaves K3 zero: it is not two-key triple DES,
// which would take K3 from K1.
class TCipher_3DES : public TCipher_1DES {
public:
    TCipher_3DES() : TCipher_1DES(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 24"
    // Six schedules: E(K1), D(K2), E(K3) to encode, D(K3), E(K2), D(K1) to decode.
    void Init(const void* Key, int Size, const void* IV) override;

protected:
    explicit TCipher_3DES(TCipherClass Class) : TCipher_1DES(Class) {}
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
};

// Triple DES over 24-byte blocks: three DES blocks, with words exchanged
// between the three passes.
class TCipher_3TDES : public TCipher_3DES {
public:
    TCipher_3TDES() : TCipher_3DES(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 25"

protected:
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
};

// Twofish, 16 rounds. Keys of exactly 16 or 24 bytes use those schedules;
// every other length is zero-padded to 32 bytes.
class TCipher_Twofish : public TCipher {
public:
    TCipher_Twofish() : TCipher(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 26"
    void Init(const void* Key, int Size, const void* IV) override;

protected:
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
};

// Square, 8 rounds on 16-byte blocks, keys of up to 16 bytes.
class TCipher_Square : public TCipher {
public:
    TCipher_Square() : TCipher(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 27"
    void Init(const void* Key, int Size, const void* IV) override;

protected:
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
};

}  // namespace zipcrypto
