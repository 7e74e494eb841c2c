// Floyd-Steinberg and Atkinson-Boyle error diffusion two rows at a time,
// left to right: the row-wise run's fast path for the dialog's passes.
// Internal to the quantiser (quantise_rows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// A run of pairs of rows: pair k is rows 2k and 2k + 1 of the pixels at in
// (rows inRow bytes apart), made into the words at out (rows outRow bytes
// apart). The error arrays are those of the row-wise run (four lanes per
// pixel, one group in front of pixel 0 and one behind the last), in three
// sets: for Floyd-Steinberg set s is errorSets[s], all that a row receives;
// for Atkinson-Boyle it is errorSets[2s], all that a row receives, and
// errorSets[2s + 1], what the row after it receives from the row before it.
// Set 0 holds the error of the run's first row.
struct PairRun {
    bool atkinsonBoyle;
    bool compensate;
    const uint8_t* in;
    size_t inRow;
    uint8_t* out;
    size_t outRow;
    int32_t width;
    int32_t** errorSets;
};

// Quantises pairs pairs (at least one), leaving the error of the row after
// them in set pairs % 3. Long runs of wide rows go on two threads, the
// second pair of rows following the first a block of columns behind; the
// words are the same either way.
void diffusePairs(const PairRun& run, int32_t pairs);
