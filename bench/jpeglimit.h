#pragma once

#include <QByteArray>
#include <QSize>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace bench {

// The decode limit of a tile: libjpeg(-turbo) decoding one JPEG file (an encoded path) on the
// calling thread at the smallest DCT scale M/8 whose output still covers the tile. Returns the
// output pixel count, 0 when the file cannot be opened.
inline qint64 libjpegCoveringDecode(const QByteArray &file, QSize tile)
{
    FILE *fp = std::fopen(file.constData(), "rb");
    if (!fp)
        return 0;
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, fp);
    jpeg_read_header(&info, TRUE);
    info.scale_denom = 8;
    info.scale_num = 1;
    while (info.scale_num < 8 &&
           ((info.image_width * info.scale_num + 7) / 8 < JDIMENSION(tile.width()) ||
            (info.image_height * info.scale_num + 7) / 8 < JDIMENSION(tile.height())))
        ++info.scale_num;
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    std::vector<unsigned char> row(size_t(info.output_width) * 4);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    const qint64 pixels = qint64(info.output_width) * info.output_height;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(fp);
    return pixels;
}

} // namespace bench
