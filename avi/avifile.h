#pragma once
// The AVIFile calls that the export makes, with the arguments, order and result codes of the
// classic library: an AVI container of our own (an idx1 index, OpenDML "AVIX" extensions past
// 1 GiB, laid out as FFmpeg's muxer lays them out), and the encoders of avi/frameencoder.h:
// libjpeg's for Motion JPEG, libavcodec's (loaded when first used) for the others.
//
// Objects: a file (AVIFileOpen) holds at most one video stream (AVIFileCreateStream, the "raw"
// stream described by its stream header). AVIMakeCompressedStream puts a compressor in front of
// it; AVIStreamSetFormat then fixes the frame format (a BITMAPINFOHEADER of 24-bit or 32-bit
// bottom-up BI_RGB frames) on the handle that will be written; AVIStreamWrite takes one frame
// of DIB bits at a time. Handles are reference counted; when the file and every stream have
// been released the file is completed: the encoder is flushed, the index written and the file
// closed.
//
// The file is written under a hidden temporary name in the same folder (".NAME.XXXXXX") and
// renamed over the named file only once it is complete, so an existing file is replaced only
// by a complete video: a file that cannot be completed, that got no frame (a cancelled
// compression dialog) or that was abandoned (AVIFileAbandon) is removed and the named file
// keeps what it held, byte for byte. A name that is a symbolic link is replaced by the new file
// (the file it pointed to is left alone).
//
// Full frames ("DIB ") are written unchanged, with the bitmap-information header given to
// AVIStreamSetFormat as the stream format. Every frame chunk is "00dc", FFmpeg's id for video
// whatever the compression; readers take it for uncompressed frames too.

#include <QString>

#include <cstdint>

class QWidget;

namespace kelbo {

class Services;

using HRESULT = std::int32_t;
using FOURCC = std::uint32_t;

// Result codes: 0 is success, errors are MAKE_AVIERR(n) = 0x80044000 + n.
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT makeAviError(std::uint32_t n) { return HRESULT(0x80044000u + n); }
constexpr HRESULT AVIERR_UNSUPPORTED = makeAviError(101);
constexpr HRESULT AVIERR_BADFORMAT = makeAviError(102);
constexpr HRESULT AVIERR_MEMORY = makeAviError(103);
constexpr HRESULT AVIERR_INTERNAL = makeAviError(104);
constexpr HRESULT AVIERR_BADFLAGS = makeAviError(105);
constexpr HRESULT AVIERR_BADPARAM = makeAviError(106);
constexpr HRESULT AVIERR_BADSIZE = makeAviError(107);
constexpr HRESULT AVIERR_BADHANDLE = makeAviError(108);
constexpr HRESULT AVIERR_FILEREAD = makeAviError(109);
constexpr HRESULT AVIERR_FILEWRITE = makeAviError(110);
constexpr HRESULT AVIERR_FILEOPEN = makeAviError(111);
constexpr HRESULT AVIERR_COMPRESSOR = makeAviError(112);
constexpr HRESULT AVIERR_NOCOMPRESSOR = makeAviError(113);
constexpr HRESULT AVIERR_READONLY = makeAviError(114);
constexpr HRESULT AVIERR_NODATA = makeAviError(115);
constexpr HRESULT AVIERR_ERROR = makeAviError(199);

// The largest frame width or height the writer takes. An 8K frame fits, and the few copies of
// one frame that an export holds at a time stay within a few hundred megabytes.
constexpr int kAviMaxFrameSide = 8192;

// AVIFileOpen modes.
constexpr std::uint32_t OF_READ = 0x0000;
constexpr std::uint32_t OF_WRITE = 0x0001;
constexpr std::uint32_t OF_READWRITE = 0x0002;
constexpr std::uint32_t OF_CREATE = 0x1000;

// AVISaveOptions flags: which settings the dialog offers besides the compressor and quality.
constexpr std::uint32_t ICMF_CHOOSE_KEYFRAME = 0x0001;
constexpr std::uint32_t ICMF_CHOOSE_DATARATE = 0x0002;

// AVIStreamWrite flags.
constexpr std::uint32_t AVIIF_KEYFRAME = 0x0010;

// AVICOMPRESSOPTIONS.dwFlags.
constexpr std::uint32_t AVICOMPRESSF_DATARATE = 0x0002;
constexpr std::uint32_t AVICOMPRESSF_KEYFRAMES = 0x0004;
constexpr std::uint32_t AVICOMPRESSF_VALID = 0x0008;

// AVICOMPRESSOPTIONS.dwQuality: 0..10000, or this for the compressor's own default.
constexpr std::uint32_t ICQUALITY_DEFAULT = 0xFFFFFFFFu;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d)
{
    return FOURCC(std::uint8_t(a)) | (FOURCC(std::uint8_t(b)) << 8)
           | (FOURCC(std::uint8_t(c)) << 16) | (FOURCC(std::uint8_t(d)) << 24);
}
constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC comptypeDIB = mmioFOURCC('D', 'I', 'B', ' ');

// mmioStringToFOURCC flag: upper-case the text first.
constexpr std::uint32_t MMIO_TOUPPER = 0x0010;
// The code of up to four characters of `text`, padded with blanks.
FOURCC mmioStringToFOURCC(const char *text, std::uint32_t flags);
// The four characters of a code ("MJPG"), trailing blanks kept.
QString fourccText(FOURCC code);

struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};
bool SetRect(RECT *rect, int left, int top, int right, int bottom);

// The stream header, 8-bit character form.
struct AVISTREAMINFOA {
    FOURCC fccType = 0;
    FOURCC fccHandler = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwCaps = 0;
    std::uint16_t wPriority = 0;
    std::uint16_t wLanguage = 0;
    std::uint32_t dwScale = 0;
    std::uint32_t dwRate = 0; // frames per second = dwRate / dwScale
    std::uint32_t dwStart = 0;
    std::uint32_t dwLength = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwQuality = 0;
    std::uint32_t dwSampleSize = 0;
    RECT rcFrame;
    std::uint32_t dwEditCount = 0;
    std::uint32_t dwFormatChangeCount = 0;
    char szName[64] = {};
};

// The compression options that AVISaveOptions fills in.
struct AVICOMPRESSOPTIONS {
    FOURCC fccType = 0;           // streamtypeVIDEO
    FOURCC fccHandler = 0;        // the compressor; comptypeDIB (or 0) for full frames
    std::uint32_t dwKeyFrameEvery = 0;  // with AVICOMPRESSF_KEYFRAMES
    std::uint32_t dwQuality = 0;        // 0..10000 or ICQUALITY_DEFAULT
    std::uint32_t dwBytesPerSecond = 0; // with AVICOMPRESSF_DATARATE
    std::uint32_t dwFlags = 0;
    void *lpFormat = nullptr;     // unused: always null here
    std::uint32_t cbFormat = 0;
    void *lpParms = nullptr;      // unused: always null here
    std::uint32_t cbParms = 0;
    std::uint32_t dwInterleaveEvery = 0;
};

struct AviFileObject;
struct AviStreamObject;
using PAVIFILE = AviFileObject *;
using PAVISTREAM = AviStreamObject *;

// Counted: AVIFileOpen fails with AVIERR_ERROR unless the library is initialised.
void AVIFileInit();
void AVIFileExit();

// Opens the file for writing (its temporary; see above). `mode` must hold OF_CREATE and OF_WRITE (or
// OF_READWRITE); reading is not supported (AVIERR_UNSUPPORTED). `handler` must be null.
// AVIERR_FILEOPEN when the temporary cannot be created in the file's folder, or the name is a
// folder, another special file, or a file that cannot be written.
HRESULT AVIFileOpen(PAVIFILE *file, const QString &path, std::uint32_t mode, const void *handler);

// The file's one video stream. AVIERR_UNSUPPORTED for a second stream or another stream type,
// AVIERR_BADPARAM for a zero rate or scale.
HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM *stream, const AVISTREAMINFOA *info);

// Shows the compression dialog through `services` (the owner window `owner` may be null: then
// no window is disabled while it is open). 1 when confirmed (the record is filled in), 0 when
// cancelled; AVIERR_BADPARAM for anything but one stream with valid addresses.
long AVISaveOptions(Services &services, QWidget *owner, std::uint32_t flags, int streamCount,
                    PAVISTREAM *streams, AVICOMPRESSOPTIONS **options);
long AVISaveOptionsFree(int streamCount, AVICOMPRESSOPTIONS **options);

// A stream that compresses what is written to it into `source` with the chosen compressor.
// AVIERR_NOCOMPRESSOR for a compressor that is not available, AVIERR_UNSUPPORTED when the
// source already has one. `handler` must be null.
HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS *options, const void *handler);

// Fixes the frame format at position 0, once. The format is a BITMAPINFOHEADER (a colour
// table may follow) of bottom-up BI_RGB frames with 24 or 32 bits per pixel, else
// AVIERR_BADFORMAT; AVIERR_BADFORMAT too when the compressor cannot take that frame size,
// AVIERR_COMPRESSOR when its encoder does not start, AVIERR_FILEWRITE when the file header
// cannot be written.
HRESULT AVIStreamSetFormat(PAVISTREAM stream, long position, const void *format, long formatSize);

// Writes one frame (`samples` = 1) at sample `start` (the next sample, or -1 for the next):
// `size` must be exactly the frame's DIB size (rows padded to 4 bytes), else AVIERR_BADSIZE.
// `flags` (AVIIF_KEYFRAME) are taken and not acted on: full frames are all key frames, and a
// compressor places its own key frames (every frame for those that are intra-only, else every
// dwKeyFrameEvery frames when AVICOMPRESSF_KEYFRAMES was chosen, else at the encoder's own
// interval). `samplesWritten`/`bytesWritten` may be null.
HRESULT AVIStreamWrite(PAVISTREAM stream, long start, long samples, const void *buffer, long size,
                       std::uint32_t flags, long *samplesWritten, long *bytesWritten);

// The file is not to be completed: its last release removes what was written and leaves the
// named file as it was (a stop asked for by the user, or by a signal). AVIERR_BADHANDLE for
// anything but an open file handle.
HRESULT AVIFileAbandon(PAVIFILE file);

// Release a reference; the result is the count left. When the last reference to the file goes
// (file and streams alike), the file is completed and `completion`, when given, receives
// AVIERR_OK or the reason it could not be (the file is then removed); AVIERR_OK too when the
// file got no frame or was abandoned, and for any other release.
unsigned long AVIStreamRelease(PAVISTREAM stream, HRESULT *completion = nullptr);
unsigned long AVIFileRelease(PAVIFILE file, HRESULT *completion = nullptr);

} // namespace kelbo
