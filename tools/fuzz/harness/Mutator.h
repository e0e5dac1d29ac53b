// Deterministic input mutation for the fuzzing runs: a seeded generator and
// mutations aimed at the packet scanner and the XMP parser (bit flips,
// truncations, spliced and duplicated packets, UTF-16 and UTF-32 packets of
// non-Latin text, huge attribute
// values, deep nesting, stray packet markers, forged lengths in the
// containers' structures, compressed blocks and bombs in PNG and JPEG XL,
// huge arrays of face regions, comments and places, native text tags). The
// same seed and the same
// seed files always give the same inputs. Not thread-safe: one per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::fuzz {

// splitmix64: small, fast and good enough to pick mutations.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound); 0 for a bound of 0.
    size_t Below(size_t bound) { return bound ? static_cast<size_t>(Next() % bound) : 0; }
    bool OneIn(size_t n) { return Below(n) == 0; }

private:
    uint64_t state;
};

class Mutator {
public:
    // Inputs never grow beyond maxSize bytes.
    // maxNesting bounds the depth of the deep-nesting mutation.
    Mutator(std::vector<std::string> seeds, uint64_t seed, size_t maxSize = 4u << 20, size_t maxNesting = 20000);

    // The next input: a seed with one to three stacked mutations.
    // `description` names the mutations applied, for the record of a finding.
    std::string Next(std::string& description);

    size_t SeedCount() const { return seeds.size(); }

private:
    using Mutation = void (Mutator::*)(std::string&);
    struct Named {
        const char* name;
        Mutation apply;
    };
    static const Named kMutations[];

    void FlipBits(std::string& data);
    void InterestingBytes(std::string& data);
    void Truncate(std::string& data);
    void SplicePacket(std::string& data);
    void DuplicatePacket(std::string& data);
    // The packet as UTF-16 or UTF-32, with letters of other scripts in it.
    void WidePacket(std::string& data);
    void HugeAttribute(std::string& data);
    void DeepNesting(std::string& data);
    void StrayMarkers(std::string& data);
    // A length in a JPEG, PNG, WebP, Photoshop, GIF, TIFF or JPEG XL
    // structure forged, or a box size, item number, item location or
    // reference of a HEIF file, or an offset or length of a camera raw
    // container (RW2, ORF, RAF, CR3, MRW, CRW, X3F).
    void ContainerStructure(std::string& data);
    // A compressed metadata block put into a PNG (zTXt, compressed iTXt, raw
    // profile) or a JPEG XL container (brob box): the packet, a bomb that
    // expands beyond the cap, or a stream cut short or with flipped bits.
    void CompressedBlock(std::string& data);
    // A huge array of descriptive items: face regions, comments, places.
    void HugeArray(std::string& data);
    // Native text put into a PNG (a predefined text keyword in tEXt, zTXt
    // or iTXt, an eXIf chunk) or a JPEG (an Exif segment, a COM segment):
    // Windows' XP tags of odd lengths, with unpaired surrogates and no
    // terminator, offsets and counts past the end.
    void NativeText(std::string& data);
    void CutRange(std::string& data);
    void CopyRange(std::string& data);
    void OddValues(std::string& data);

    // A packet (or the first XML-looking region) of data: [begin, end).
    bool FindPacket(const std::string& data, size_t& begin, size_t& end) const;
    const std::string& AnySeed() { return seeds[random.Below(seeds.size())]; }

    std::vector<std::string> seeds;
    std::string zlibBomb;  // made on first use
    Random random;
    size_t maxSize;
    size_t maxNesting;
};

}  // namespace velmora::fuzz
