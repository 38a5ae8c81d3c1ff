#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

enum class StepButton { First = 0, Previous = 1, Next = 2, Last = 3 };

// The BMP command: a file dialog, then the inspection, the folder's list and the thumbnail.
void ChooseBmp(WorkflowContext& ctx);

// What the BMP command does once a file is chosen: the inspection, the folder's list and the
// thumbnail. Also for a carrier that comes from elsewhere, such as a converted picture.
void TakeBmp(WorkflowContext& ctx, QString path);

// FIRST, PREVIOUS, NEXT, LAST through the BMP files of the listed folder.
void StepThroughBmps(WorkflowContext& ctx, int index);

// Lists the BMP files of the folder by image area (or reuses the list of the same folder),
// finds the chosen file in it and shows it.
void BuildBmpList(WorkflowContext& ctx, QString folder);

// Shows the file at the current list position: its thumbnail, fitted to the box, or the reason
// it cannot be used.
void ShowBmp(WorkflowContext& ctx);

// The image area the list sorts by, read from 54 bytes of the file; 0 when they cannot be read
// or the product does not fit 32 bits.
int64_t bmpListKey(const QString& path);

// Where the thumbnail goes inside the box, in twips: unscaled and centred when the image is
// smaller than the box both ways, else reduced to the box's width or height, keeping its shape.
struct ThumbnailFit {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool reduced = false;
};
ThumbnailFit fitThumbnail(double imageWidth, double imageHeight, double boxWidth, double boxHeight);

} // namespace brindmar
