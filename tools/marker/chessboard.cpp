#include "chessboard.h"

#include "picture.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kMarginMm = 10.0;
constexpr int kDotsPerInch = 300;

struct Page {
    const char* name;
    double width; // millimetres, portrait
    double height;
};

// A PDF of one page: the content stream given, Helvetica for the caption.
std::string pdfOf(double widthPt, double heightPt, const std::string& content) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(widthPt) + " " +
            std::to_string(heightPt) + "] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t table = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(table) + "\n%%EOF\n";
    return pdf;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

bool writeChessboard(int columns, int rows, double squareMm, const std::string& directory,
                     std::string* error) {
    // COLSxROWS inner corners: one square more each way.
    const int across = columns + 1;
    const int down = rows + 1;
    const double boardWidth = across * squareMm;
    const double boardHeight = down * squareMm;
    char size[64];
    std::snprintf(size, sizeof size, "%dx%d-%gmm", columns, rows, squareMm);
    const Page pages[] = {{"a4", 210.0, 297.0}, {"letter", 215.9, 279.4}};
    for (const Page& page : pages) {
        const bool landscape = boardWidth > boardHeight;
        const double pageWidth = landscape ? page.height : page.width;
        const double pageHeight = landscape ? page.width : page.height;
        if (boardWidth > pageWidth - 2 * kMarginMm || boardHeight > pageHeight - 2 * kMarginMm - 8.0) {
            *error = "a board of " + std::to_string(across) + " x " + std::to_string(down) + " squares of " +
                     std::to_string(squareMm) + " mm does not fit on " + page.name + ": take smaller squares";
            return false;
        }
        const double left = (pageWidth - boardWidth) / 2;
        const double top = (pageHeight - boardHeight) / 2;
        char caption[160];
        std::snprintf(
            caption, sizeof caption,
            "velquin-calibrate --chessboard %dx%d --square %g   (print at 100 %%: each square %g mm)",
            columns, rows, squareMm, squareMm);

        // PDF: origin at the bottom left, in points.
        std::string content = "0 g\n";
        for (int y = 0; y < down; ++y) {
            for (int x = 0; x < across; ++x) {
                if ((x + y) % 2 != 0) {
                    continue;
                }
                const double x0 = (left + x * squareMm) * kPointsPerMm;
                const double y0 = (pageHeight - top - (y + 1) * squareMm) * kPointsPerMm;
                char rect[96];
                std::snprintf(rect, sizeof rect, "%.3f %.3f %.3f %.3f re f\n", x0, y0,
                              squareMm * kPointsPerMm, squareMm * kPointsPerMm);
                content += rect;
            }
        }
        char text[320];
        std::snprintf(text, sizeof text, "BT /F1 9 Tf %.3f %.3f Td (%s) Tj ET\n", left * kPointsPerMm,
                      (pageHeight - top - boardHeight - 6.0) * kPointsPerMm, caption);
        content += text;
        const std::string base = directory + "/chessboard-" + size + "-" + page.name;
        if (!writeFile(base + ".pdf", pdfOf(pageWidth * kPointsPerMm, pageHeight * kPointsPerMm, content))) {
            *error = "cannot write " + base + ".pdf";
            return false;
        }

        // PNG of the page at 300 dots per inch.
        const double dotsPerMm = kDotsPerInch / 25.4;
        Picture picture(static_cast<int>(std::lround(pageWidth * dotsPerMm)),
                        static_cast<int>(std::lround(pageHeight * dotsPerMm)), 255);
        for (int py = 0; py < picture.height; ++py) {
            const double my = (py + 0.5) / dotsPerMm - top;
            if (my < 0 || my >= boardHeight) {
                continue;
            }
            for (int px = 0; px < picture.width; ++px) {
                const double mx = (px + 0.5) / dotsPerMm - left;
                if (mx < 0 || mx >= boardWidth) {
                    continue;
                }
                const int sx = static_cast<int>(mx / squareMm);
                const int sy = static_cast<int>(my / squareMm);
                if ((sx + sy) % 2 == 0) {
                    uint8_t* t = picture.at(px, py);
                    t[0] = t[1] = t[2] = 0;
                }
            }
        }
        std::string pngError;
        if (!writePng(base + ".png", picture, &pngError, static_cast<int>(std::lround(dotsPerMm * 1000.0)))) {
            *error = base + ".png: " + pngError;
            return false;
        }
        std::printf("%s.pdf %s.png\n", base.c_str(), base.c_str());
    }
    return true;
}
