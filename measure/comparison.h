// A comparison of every quantisation the command line offers on one
// picture: none, ordered, floyd-steinberg, floyd-steinberg serpentine,
// atkinson-boyle, atkinson-boyle serpentine, each with green compensation on
// and off, measured with the figures of figures.h and, when asked, drawn on a
// contact sheet.
#pragma once

#include "convert/quantise.h"
#include "measure/contact_sheet.h"
#include "measure/figures.h"

constexpr int32_t comparedChoices = 12;

struct ComparedResult {
    Quantisation quantisation;
    QualityFigures figures;
};

// The twelve choices, in the order above, compensation on before off.
void comparedQuantisations(Quantisation choices[comparedChoices]);

// Quantises the picture in every choice a band of rows at a time and
// measures each, filling results in the order of comparedQuantisations. With
// a sheet (laid out for this picture), draws the source and the six results
// whose compensation is sheetCompensation into its tiles, labels aside.
// False, with nothing measured, for want of memory.
bool compareQuantisations(const RgbImage& source, bool sheetCompensation, ContactSheet* sheet,
                          ComparedResult results[comparedChoices]);

// Best first: by mean colour difference as printed (two decimals), ties in
// the order of comparedQuantisations.
void sortComparedResults(ComparedResult results[comparedChoices]);

// The labels: the source's with the compensation shown, each result's with
// its mean colour difference.
void labelSheet(ContactSheet* sheet, bool sheetCompensation,
                const ComparedResult results[comparedChoices]);
