#include "screens/runtime/SpriteSheetDecodes.h"

#include "screens/runtime/SpriteSheet.h"

#include <algorithm>

SpriteSheetDecodes::SpriteSheetDecodes(Decode decode)
    : m_decode(decode ? std::move(decode) : Decode([](const QString& path, qint64 count, const std::atomic<bool>& stop) {
          return SpriteSheet::frames(path, count, &stop);
      }))
{
}

// The decode under way ends at its next step (the reader, or the cells): the end of the
// application waits for no more than one step of it.
SpriteSheetDecodes::~SpriteSheetDecodes()
{
    m_stopping = true;
}

const SpriteSheetDecodes::Frames* SpriteSheetDecodes::decoded(const Sheet& sheet) const
{
    const auto found = std::find_if(m_decoded.cbegin(), m_decoded.cend(),
                                    [&](const std::pair<Sheet, Frames>& entry) { return entry.first == sheet; });
    return found == m_decoded.cend() ? nullptr : &found->second;
}

void SpriteSheetDecodes::decode(QObject* owner, const Sheet& sheet, std::function<void(const Frames&)> done)
{
    if (m_asked.contains(sheet) || decoded(sheet))
        return;
    const bool dropped = m_worker.runLatest(
        owner, [decode = m_decode, sheet, stop = &m_stopping] { return decode(sheet.path, sheet.count, *stop); },
        [this, sheet, done = std::move(done)](const Frames& frames) {
            m_asked.removeOne(sheet);
            m_decoded.append({sheet, frames});
            if (m_decoded.size() > remembered)
                m_decoded.removeFirst();
            done(frames);
        });
    // Only the newest asked can have been waiting.
    if (dropped)
        m_asked.removeLast();
    m_asked.append(sheet);
}
