#include "png/pngrows.h"

#include <cstring>

namespace png {

const TAdamPass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                             {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
const TAdamPass kWholeImage = {0, 0, 1, 1};

namespace {

// The filters' inner loops with the pixel size known to the compiler.
template <size_t O>
void unfilterFixed(uint8_t type, uint8_t* x, const uint8_t* prior, size_t n) {
    switch (type) {
        case 1:
            for (size_t i = O; i < n; ++i) x[i] = uint8_t(x[i] + x[i - O]);
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) x[i] = uint8_t(x[i] + prior[i]);
            break;
        case 3:
            for (size_t i = 0; i < n && i < O; ++i) x[i] = uint8_t(x[i] + (prior[i] >> 1));
            for (size_t i = O; i < n; ++i) x[i] = uint8_t(x[i] + ((prior[i] + x[i - O]) >> 1));
            break;
        case 4:
            for (size_t i = 0; i < n && i < O; ++i) x[i] = uint8_t(x[i] + prior[i]);
            for (size_t i = O; i < n; ++i) x[i] = uint8_t(x[i] + PaethPredictor(x[i - O], prior[i], prior[i - O]));
            break;
        default: break;
    }
}

}  // namespace

void UnfilterRow(uint8_t type, uint8_t* x, const uint8_t* prior, size_t n, int offset) {
    switch (offset) {
        case 1: unfilterFixed<1>(type, x, prior, n); break;
        case 2: unfilterFixed<2>(type, x, prior, n); break;
        case 3: unfilterFixed<3>(type, x, prior, n); break;
        case 4: unfilterFixed<4>(type, x, prior, n); break;
        case 6: unfilterFixed<6>(type, x, prior, n); break;
        case 8: unfilterFixed<8>(type, x, prior, n); break;
        default: break;
    }
}

void FilterRow(uint8_t type, const uint8_t* x, const uint8_t* prior, uint8_t* out, size_t n, int offset) {
    const size_t o = static_cast<size_t>(offset);
    switch (type) {
        case 1:
            for (size_t i = 0; i < n && i < o; ++i) out[i] = x[i];
            for (size_t i = o; i < n; ++i) out[i] = uint8_t(x[i] - x[i - o]);
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) out[i] = uint8_t(x[i] - prior[i]);
            break;
        case 3:
            for (size_t i = 0; i < n && i < o; ++i) out[i] = uint8_t(x[i] - (prior[i] >> 1));
            for (size_t i = o; i < n; ++i) out[i] = uint8_t(x[i] - ((prior[i] + x[i - o]) >> 1));
            break;
        case 4:
            for (size_t i = 0; i < n && i < o; ++i) out[i] = uint8_t(x[i] - prior[i]);
            for (size_t i = o; i < n; ++i) out[i] = uint8_t(x[i] - PaethPredictor(x[i - o], prior[i], prior[i - o]));
            break;
        default: std::memcpy(out, x, n); break;
    }
}

}  // namespace png
