// Movie files through FFmpeg (see plat_movie.h).
#include "platform/plat_movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

struct PLAT_movie {
    AVFormatContext* format = nullptr;
    AVStream* track = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* picture = nullptr; // the converted picture the encoder takes
    AVPacket* packet = nullptr; // the last compressed frame
    int width = 0, height = 0;
    int time_scale = 600;
    int64_t next_time = 0; // sum of the durations appended so far, in track units
    int file_open = 0;
};

int PLAT_movie_available()
{
    return avcodec_find_encoder(AV_CODEC_ID_MJPEG) && av_guess_format("mov", nullptr, nullptr) ? 1 : 0;
}

int PLAT_movie_create(PLAT_movie** out, const char* path)
{
    *out = nullptr;
    // FFmpeg's own messages would go to standard error from any thread; its errors come back as
    // numbers instead.
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* f = nullptr;
    int err = avformat_alloc_output_context2(&f, nullptr, "mov", path);
    if (err < 0) return err;
    PLAT_movie* m = new PLAT_movie();
    m->format = f;
    *out = m;
    return 0;
}

int PLAT_movie_open_file(PLAT_movie* m)
{
    int err = avio_open(&m->format->pb, m->format->url, AVIO_FLAG_WRITE);
    if (err < 0) return err;
    m->file_open = 1;
    return 0;
}

int PLAT_movie_add_track(PLAT_movie* m, int width, int height, int time_scale)
{
    m->track = avformat_new_stream(m->format, nullptr);
    if (!m->track) return AVERROR(ENOMEM);
    m->width = width;
    m->height = height;
    m->time_scale = time_scale;
    AVCodecParameters* p = m->track->codecpar;
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = AV_CODEC_ID_MJPEG;
    p->format = AV_PIX_FMT_YUVJ420P;
    p->width = width;
    p->height = height;
    p->color_range = AVCOL_RANGE_JPEG;
    m->track->time_base = AVRational{1, time_scale};
    // The muxer picks its own track time scale unless told.
    AVDictionary* opts = nullptr;
    av_dict_set_int(&opts, "video_track_timescale", time_scale, 0);
    int err = avformat_write_header(m->format, &opts);
    av_dict_free(&opts);
    return err < 0 ? err : 0;
}

int PLAT_movie_begin_compression(PLAT_movie* m, int qscale)
{
    const AVCodec* jpeg = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!jpeg) return AVERROR_ENCODER_NOT_FOUND;
    m->codec = avcodec_alloc_context3(jpeg);
    if (!m->codec) return AVERROR(ENOMEM);
    m->codec->width = m->width;
    m->codec->height = m->height;
    m->codec->pix_fmt = AV_PIX_FMT_YUVJ420P;
    m->codec->color_range = AVCOL_RANGE_JPEG;
    m->codec->time_base = AVRational{1, m->time_scale};
    m->codec->flags |= AV_CODEC_FLAG_QSCALE;
    m->codec->global_quality = FF_QP2LAMBDA * qscale;
    // One thread: the recorder already runs the compression beside the main thread.
    m->codec->thread_count = 1;
    int err = avcodec_open2(m->codec, jpeg, nullptr);
    if (err < 0) return err;
    m->picture = av_frame_alloc();
    if (!m->picture) return AVERROR(ENOMEM);
    m->picture->format = AV_PIX_FMT_YUVJ420P;
    m->picture->width = m->width;
    m->picture->height = m->height;
    m->picture->quality = m->codec->global_quality;
    err = av_frame_get_buffer(m->picture, 0);
    if (err < 0) return err;
    // AV_PIX_FMT_ARGB is the byte order A, R, G, B, whatever the machine's byte order.
    m->scale = sws_getContext(m->width, m->height, AV_PIX_FMT_ARGB, m->width, m->height, AV_PIX_FMT_YUVJ420P,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m->scale) return AVERROR(EINVAL);
    return 0;
}

int PLAT_movie_alloc_frame_buffer(PLAT_movie* m)
{
    m->packet = av_packet_alloc();
    return m->packet ? 0 : AVERROR(ENOMEM);
}

int PLAT_movie_compress_frame(PLAT_movie* m, const unsigned char* argb)
{
    int err = av_frame_make_writable(m->picture);
    if (err < 0) return err;
    const uint8_t* src[1] = {argb};
    const int src_stride[1] = {m->width * 4};
    sws_scale(m->scale, src, src_stride, 0, m->height, m->picture->data, m->picture->linesize);
    err = avcodec_send_frame(m->codec, m->picture);
    if (err < 0) return err;
    // JPEG frames stand alone: each picture sent gives its packet at once.
    err = avcodec_receive_packet(m->codec, m->packet);
    return err < 0 ? err : 0;
}

int PLAT_movie_add_frame(PLAT_movie* m, int duration)
{
    m->packet->stream_index = m->track->index;
    m->packet->pts = m->next_time;
    m->packet->dts = m->next_time;
    m->packet->duration = duration;
    m->packet->flags |= AV_PKT_FLAG_KEY;
    // The muxer may have chosen another time base than the track's units.
    av_packet_rescale_ts(m->packet, AVRational{1, m->time_scale}, m->track->time_base);
    m->next_time += duration;
    int err = av_write_frame(m->format, m->packet);
    av_packet_unref(m->packet);
    // Each frame goes to the file at once, so a failing write (a full disk) shows here, at the
    // frame it cost, rather than only when the movie is finished.
    if (err >= 0) {
        avio_flush(m->format->pb);
        if (m->format->pb->error < 0) err = m->format->pb->error;
    }
    return err < 0 ? err : 0;
}

void PLAT_movie_end_compression(PLAT_movie* m)
{
    if (!m) return;
    sws_freeContext(m->scale);
    m->scale = nullptr;
    av_frame_free(&m->picture);
    av_packet_free(&m->packet);
    avcodec_free_context(&m->codec);
}

int PLAT_movie_finish(PLAT_movie* m)
{
    int err = av_write_trailer(m->format);
    return err < 0 ? err : 0;
}

int PLAT_movie_close(PLAT_movie* m)
{
    if (!m) return 0;
    PLAT_movie_end_compression(m);
    int err = 0;
    if (m->file_open) err = avio_closep(&m->format->pb);
    avformat_free_context(m->format);
    delete m;
    return err < 0 ? err : 0;
}

void PLAT_movie_error_text(int error, char* out, size_t size)
{
    // For a number it has no text for, FFmpeg still writes one ("Error number N occurred").
    if (size) av_strerror(error, out, size);
}
