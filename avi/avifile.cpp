#include "avi/avifile.h"

#include "avi/aviwriter.h"
#include "platform/services.h"

#include <cctype>
#include <map>
#include <memory>

namespace kelbo {

FOURCC mmioStringToFOURCC(const char *text, std::uint32_t flags)
{
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; text && i < 4 && text[i] != '\0'; ++i) {
        c[i] = text[i];
        if (flags & MMIO_TOUPPER)
            c[i] = char(std::toupper(static_cast<unsigned char>(c[i])));
    }
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

QString fourccText(FOURCC code)
{
    QString text;
    for (int i = 0; i < 4; ++i)
        text += QChar(char((code >> (8 * i)) & 0xFF));
    return text;
}

bool SetRect(RECT *rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return false;
    rect->left = left;
    rect->top = top;
    rect->right = right;
    rect->bottom = bottom;
    return true;
}

namespace {

int g_initCount = 0;

} // namespace

// A file handle: one owner of its writer.
struct AviFileObject {
    std::shared_ptr<AviWriter> writer;
};

// A stream handle: one owner of its file's writer; a compressed stream also holds the raw
// stream it compresses into.
struct AviStreamObject {
    std::shared_ptr<AviWriter> writer;
    std::shared_ptr<AviStreamObject> source;
    bool compressed = false;
    bool formatted = false; // its AVIStreamSetFormat fixed the frame format
};

namespace {

// The caller's reference to each handle it holds. A handle object lives as long as the
// caller's reference or the handles that depend on it (a compressed stream holds its raw
// stream); the writer lives as long as any handle of its file. Handles are used from one
// thread, as the classic library's are from one apartment.
template <typename T>
class Handles {
public:
    T *add(std::shared_ptr<T> object)
    {
        T *handle = object.get();
        m_references.emplace(handle, std::move(object));
        return handle;
    }
    // The object behind a handle the caller holds, or null for any other pointer.
    T *find(T *handle) const
    {
        const auto at = m_references.find(handle);
        return at == m_references.end() ? nullptr : at->second.get();
    }
    // Another owner of the object behind a handle the caller holds.
    std::shared_ptr<T> share(T *handle) const
    {
        const auto at = m_references.find(handle);
        return at == m_references.end() ? nullptr : at->second;
    }
    // Gives up the caller's reference.
    std::shared_ptr<T> take(T *handle)
    {
        const auto at = m_references.find(handle);
        if (at == m_references.end())
            return nullptr;
        std::shared_ptr<T> object = std::move(at->second);
        m_references.erase(at);
        return object;
    }

private:
    std::map<T *, std::shared_ptr<T>> m_references;
};

Handles<AviFileObject> &fileHandles()
{
    static Handles<AviFileObject> handles;
    return handles;
}

Handles<AviStreamObject> &streamHandles()
{
    static Handles<AviStreamObject> handles;
    return handles;
}

// Drops a handle's object whose caller reference was given up. Returns how many references
// to it are left; when none is and it was the last owner of the writer, the file is completed
// and `completion` receives the result.
template <typename T>
unsigned long dropReference(std::shared_ptr<T> object, HRESULT *completion)
{
    std::shared_ptr<AviWriter> writer = object->writer;
    const auto left = static_cast<unsigned long>(object.use_count() - 1);
    object.reset();
    if (left > 0)
        return left;
    const HRESULT result = writer.use_count() == 1 ? writer->finish() : AVIERR_OK;
    if (completion)
        *completion = result;
    return 0;
}

} // namespace

void AVIFileInit()
{
    ++g_initCount;
}

void AVIFileExit()
{
    if (g_initCount > 0)
        --g_initCount;
}

HRESULT AVIFileOpen(PAVIFILE *file, const QString &path, std::uint32_t mode, const void *handler)
{
    if (!file)
        return AVIERR_BADPARAM;
    *file = nullptr;
    if (g_initCount == 0)
        return AVIERR_ERROR;
    if (handler || !(mode & OF_CREATE) || !(mode & (OF_WRITE | OF_READWRITE)))
        return AVIERR_UNSUPPORTED;
    std::unique_ptr<AviWriter> writer;
    if (const HRESULT hr = AviWriter::open(path, writer); hr != AVIERR_OK)
        return hr;
    auto object = std::make_shared<AviFileObject>();
    object->writer = std::move(writer);
    *file = fileHandles().add(std::move(object));
    return AVIERR_OK;
}

HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM *stream, const AVISTREAMINFOA *info)
{
    if (!stream)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    const AviFileObject *f = fileHandles().find(file);
    if (!f)
        return AVIERR_BADHANDLE;
    if (!info)
        return AVIERR_BADPARAM;
    if (const HRESULT hr = f->writer->createStream(*info); hr != AVIERR_OK)
        return hr;
    auto object = std::make_shared<AviStreamObject>();
    object->writer = f->writer;
    *stream = streamHandles().add(std::move(object));
    return AVIERR_OK;
}

long AVISaveOptions(Services &services, QWidget *owner, std::uint32_t flags, int streamCount,
                    PAVISTREAM *streams, AVICOMPRESSOPTIONS **options)
{
    if (streamCount != 1 || !streams || !options || !*options)
        return AVIERR_BADPARAM;
    const AviStreamObject *s = streamHandles().find(streams[0]);
    if (!s)
        return AVIERR_BADPARAM;
    return services.chooseCompression(owner, flags, s->writer->streamInfo(), **options);
}

long AVISaveOptionsFree(int streamCount, AVICOMPRESSOPTIONS **options)
{
    if (streamCount < 1 || !options)
        return AVIERR_BADPARAM;
    for (int i = 0; i < streamCount; ++i) {
        if (!options[i])
            continue;
        // Nothing is ever allocated for a record here; the pointers are cleared all the same.
        options[i]->lpFormat = nullptr;
        options[i]->cbFormat = 0;
        options[i]->lpParms = nullptr;
        options[i]->cbParms = 0;
    }
    return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS *options, const void *handler)
{
    if (!compressed)
        return AVIERR_BADPARAM;
    *compressed = nullptr;
    AviStreamObject *raw = streamHandles().find(source);
    if (!raw || raw->compressed)
        return AVIERR_BADHANDLE;
    if (!options || handler)
        return AVIERR_BADPARAM;
    if (const HRESULT hr = raw->writer->chooseCompression(*options); hr != AVIERR_OK)
        return hr;
    auto object = std::make_shared<AviStreamObject>();
    object->writer = raw->writer;
    object->compressed = true;
    // The caller's reference to the raw stream, shared: the raw stream lives on while the
    // compressed one does.
    object->source = streamHandles().share(source);
    *compressed = streamHandles().add(std::move(object));
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, long position, const void *format, long formatSize)
{
    AviStreamObject *s = streamHandles().find(stream);
    if (!s)
        return AVIERR_BADHANDLE;
    if (s->writer->hasFormat())
        return AVIERR_UNSUPPORTED;
    if (position != 0)
        return AVIERR_UNSUPPORTED;
    const HRESULT hr = s->writer->setFormat(format, formatSize, s->compressed);
    if (hr == AVIERR_OK)
        s->formatted = true;
    return hr;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, long start, long samples, const void *buffer, long size,
                       std::uint32_t flags, long *samplesWritten, long *bytesWritten)
{
    if (samplesWritten)
        *samplesWritten = 0;
    if (bytesWritten)
        *bytesWritten = 0;
    const AviStreamObject *s = streamHandles().find(stream);
    if (!s)
        return AVIERR_BADHANDLE;
    if (s->writer->hasFormat() && !s->formatted)
        return AVIERR_UNSUPPORTED; // frames go through the handle that fixed the format
    (void)flags; // see the header: key frames are the compressor's
    const HRESULT hr = s->writer->write(start, samples, buffer, size, bytesWritten);
    if (hr == AVIERR_OK && samplesWritten)
        *samplesWritten = 1;
    return hr;
}

HRESULT AVIFileAbandon(PAVIFILE file)
{
    AviFileObject *f = fileHandles().find(file);
    if (!f)
        return AVIERR_BADHANDLE;
    f->writer->abandon();
    return AVIERR_OK;
}

unsigned long AVIStreamRelease(PAVISTREAM stream, HRESULT *completion)
{
    if (completion)
        *completion = AVIERR_OK;
    std::shared_ptr<AviStreamObject> object = streamHandles().take(stream);
    return object ? dropReference(std::move(object), completion) : 0;
}

unsigned long AVIFileRelease(PAVIFILE file, HRESULT *completion)
{
    if (completion)
        *completion = AVIERR_OK;
    std::shared_ptr<AviFileObject> object = fileHandles().take(file);
    return object ? dropReference(std::move(object), completion) : 0;
}

} // namespace kelbo
