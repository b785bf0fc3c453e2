#pragma once
// Rijndael block cipher: keys and blocks of 16, 24 or 32 bytes, ECB, CBC and CFB.
// With a 16-byte block this is AES (FIPS-197). Every misuse throws CRijndaelError.
//
// Threads: the ECB paths (EncryptBlock, DecryptBlock, EncryptECB, DecryptECB) only read
// the round keys, so one keyed instance may serve several threads at once. CBC and CFB
// carry the chaining block from call to call and need one thread at a time.
#include <cstddef>
#include <cstdint>
#include <exception>

class CRijndaelError : public std::exception {
public:
    // Deliberately says nothing about keys or data.
    const char* what() const noexcept override { return "Rijndael cipher misuse"; }
};

class CRijndael {
public:
    enum { ECB = 0, CBC = 1, CFB = 2 };
    enum { MAX_BLOCK_SIZE = 32, MAX_ROUNDS = 14, MAX_KC = 8, MAX_BC = 8 };

    // Default chaining block: 32 zero bytes.
    static const char sm_chain0[MAX_BLOCK_SIZE];

    CRijndael();
    virtual ~CRijndael();
    CRijndael(const CRijndael&) = default;
    CRijndael& operator=(const CRijndael&) = default;

    // Reads keylength bytes of key and blockSize bytes of chain (a null chain means zeros).
    // Throws on a null key or a length other than 16, 24, 32.
    void MakeKey(const char* key, const char* chain = sm_chain0, int keylength = 16,
                 int blockSize = 16);

    // One block of GetBlockSize() bytes.
    void EncryptBlock(const char* in, char* result) const;
    void DecryptBlock(const char* in, char* result) const;

    // n bytes, a non-zero multiple of the block size; mode CBC, CFB, anything else ECB.
    // in and result may be the same buffer.
    void Encrypt(const char* in, char* result, size_t n, int iMode = ECB);
    void Decrypt(const char* in, char* result, size_t n, int iMode = ECB);

    // ECB only: read-only, safe to share between threads.
    void EncryptECB(const char* in, char* result, size_t n) const;
    void DecryptECB(const char* in, char* result, size_t n) const;

    // buff[i] ^= chain[i] for one block.
    void Xor(char* buff, const char* chain) const;

    bool IsKeyInit() const { return m_bKeyInit; }
    int GetKeyLength() const { return m_keylength; }
    int GetBlockSize() const { return m_blockSize; }
    int GetRounds() const { return m_iROUNDS; }

protected:
    // Wipes the key schedule and chaining state; the instance refuses to work until MakeKey.
    void ForgetKey();

private:
    void CheckRun(size_t n) const;
    // Checks the run (a key, whole blocks), then hands the step each block.
    template <class Step>
    void ForEachBlock(const char* in, char* result, size_t n, Step&& step) const;

    bool m_bKeyInit = false;
    uint32_t m_Ke[MAX_ROUNDS + 1][MAX_BC] = {};
    uint32_t m_Kd[MAX_ROUNDS + 1][MAX_BC] = {};
    int m_keylength = 0;
    int m_blockSize = 0;
    int m_iROUNDS = 0;
    char m_chain0[MAX_BLOCK_SIZE] = {};
    char m_chain[MAX_BLOCK_SIZE] = {};
};
