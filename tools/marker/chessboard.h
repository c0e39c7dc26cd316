#pragma once

#include <string>

// The calibration chessboard of velquin-calibrate, as pages to print at true size: for each of
// A4 and Letter a PDF (squares as vector rectangles) and a PNG of the page at 300 dots per inch
// with its density recorded. The board lies in the middle of the page, turned to landscape when
// it is wider than tall; a caption names its size. Files: DIRECTORY/chessboard-COLSxROWS-SQUAREmm-
// a4.pdf and .png, -letter.pdf and .png. False with a reason when the board does not fit a page
// with 10 mm margins or a file cannot be written.
bool writeChessboard(int columns, int rows, double squareMm, const std::string& directory,
                     std::string* error);
