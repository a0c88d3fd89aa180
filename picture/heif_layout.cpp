#include "picture/heif_layout.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "picture/messages.h"
#include "toolkit/bitmap.h"
#include "toolkit/errors.h"

namespace {

constexpr std::uint64_t MostMetaBytes = std::uint64_t(64) << 20;
// What the tiles of a small grid may cover beyond four times its output.
constexpr std::uint64_t MostSpareTilePixels = std::uint64_t(1) << 20;

[[noreturn]] void Damaged() { throw EInvalidGraphic(SHeifDamaged); }

// Big-endian fields of a box's bytes, every read checked against their end.
class TBytes {
 public:
  explicit TBytes(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Size() const { return bytes_.size(); }
  std::uint64_t Get(std::size_t at, int count) const {
    if (count < 0 || count > 8 || at > bytes_.size() || bytes_.size() - at < std::size_t(count)) Damaged();
    std::uint64_t v = 0;
    for (int i = 0; i < count; ++i) v = v << 8 | bytes_[at + std::size_t(i)];
    return v;
  }
  std::uint32_t Type(std::size_t at) const { return std::uint32_t(Get(at, 4)); }
  const std::uint8_t* At(std::size_t at) const { return bytes_.data() + at; }

 private:
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint32_t FourCC(const char (&t)[5]) {
  return std::uint32_t(std::uint8_t(t[0])) << 24 | std::uint32_t(std::uint8_t(t[1])) << 16 |
         std::uint32_t(std::uint8_t(t[2])) << 8 | std::uint32_t(std::uint8_t(t[3]));
}

struct TBox {
  std::uint32_t Type = 0;
  std::size_t Content = 0, End = 0;  // the content after the header, and the box's end
};

// The boxes in [begin, end) of `b`.
std::vector<TBox> Children(const TBytes& b, std::size_t begin, std::size_t end) {
  std::vector<TBox> boxes;
  std::size_t at = begin;
  while (end - at >= 8) {
    std::uint64_t size = b.Get(at, 4);
    std::size_t header = 8;
    if (size == 1) {
      size = b.Get(at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) Damaged();
    boxes.push_back({b.Type(at + 4), at + header, at + std::size_t(size)});
    at += std::size_t(size);
  }
  return boxes;
}

// The meta box's content, found among the file's top-level boxes.
TBytes ReadMeta(TStream& stream, std::int64_t start, std::int64_t size, THeifLayout& layout) {
  std::int64_t at = 0;
  while (size - at >= 8) {
    std::uint8_t header[16];
    stream.SetPosition(start + at);
    stream.ReadBuffer(header, 8);
    std::uint64_t boxSize = 0;
    for (int i = 0; i < 4; ++i) boxSize = boxSize << 8 | header[i];
    std::uint64_t headerSize = 8;
    if (boxSize == 1) {
      stream.ReadBuffer(header + 8, 8);
      boxSize = 0;
      for (int i = 8; i < 16; ++i) boxSize = boxSize << 8 | header[i];
      headerSize = 16;
    } else if (boxSize == 0) {
      boxSize = std::uint64_t(size - at);
    }
    if (boxSize < headerSize || boxSize > std::uint64_t(size - at)) Damaged();
    if (header[4] == 'm' && header[5] == 'e' && header[6] == 't' && header[7] == 'a') {
      const std::uint64_t content = boxSize - headerSize;
      layout.MetaBytes = content;
      if (content > MostMetaBytes) Damaged();
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(content));
      stream.ReadBuffer(bytes.data(), bytes.size());
      return TBytes(std::move(bytes));
    }
    at += std::int64_t(boxSize);
  }
  Damaged();
}

struct TExtent {
  std::uint64_t Offset = 0, Length = 0;
};

struct TLocation {
  int Method = 0;  // 0 the file, 1 the idat box
  std::vector<TExtent> Extents;
};

struct TMeta {
  std::uint32_t Primary = 0;
  std::map<std::uint32_t, std::uint32_t> ItemTypes;
  std::map<std::uint32_t, TLocation> Locations;
  std::map<std::uint32_t, std::vector<std::uint32_t>> Tiles;  // the dimg references of each item
  std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> Sizes;  // ispe of each item
  TBox Idat;
};

void ReadItemInfos(const TBytes& b, const TBox& iinf, TMeta& meta, THeifLayout& layout) {
  const int version = int(b.Get(iinf.Content, 1));
  layout.Items = std::max<std::size_t>(layout.Items, std::size_t(b.Get(iinf.Content + 4, version == 0 ? 2 : 4)));
  for (const TBox& infe : Children(b, iinf.Content + (version == 0 ? 6 : 8), iinf.End)) {
    if (infe.Type != FourCC("infe")) continue;
    const int v = int(b.Get(infe.Content, 1));
    if (v < 2) continue;
    const int idBytes = v == 2 ? 2 : 4;
    const auto item = std::uint32_t(b.Get(infe.Content + 4, idBytes));
    meta.ItemTypes[item] = b.Type(infe.Content + 4 + std::size_t(idBytes) + 2);
  }
}

void ReadLocations(const TBytes& b, const TBox& iloc, TMeta& meta, THeifLayout& layout) {
  const int version = int(b.Get(iloc.Content, 1));
  const int offsetSize = int(b.Get(iloc.Content + 4, 1) >> 4), lengthSize = int(b.Get(iloc.Content + 4, 1) & 15);
  const int baseSize = int(b.Get(iloc.Content + 5, 1) >> 4);
  const int indexSize = version >= 1 ? int(b.Get(iloc.Content + 5, 1) & 15) : 0;
  const int idBytes = version < 2 ? 2 : 4;
  std::size_t p = iloc.Content + 6;
  const std::uint64_t items = b.Get(p, idBytes);
  layout.Items = std::max<std::size_t>(layout.Items, std::size_t(items));
  p += std::size_t(idBytes);
  for (std::uint64_t i = 0; i < items; ++i) {
    const auto item = std::uint32_t(b.Get(p, idBytes));
    p += std::size_t(idBytes);
    TLocation location;
    if (version >= 1) {
      location.Method = int(b.Get(p, 2) & 15);
      p += 2;
    }
    p += 2;  // data reference
    const std::uint64_t base = b.Get(p, baseSize);
    p += std::size_t(baseSize);
    const std::uint64_t extents = b.Get(p, 2);
    p += 2;
    for (std::uint64_t e = 0; e < extents; ++e) {
      p += std::size_t(indexSize);
      const std::uint64_t offset = b.Get(p, offsetSize);
      p += std::size_t(offsetSize);
      const std::uint64_t length = b.Get(p, lengthSize);
      p += std::size_t(lengthSize);
      location.Extents.push_back({base + offset, length});
    }
    meta.Locations[item] = std::move(location);
  }
}

void ReadReferences(const TBytes& b, const TBox& iref, TMeta& meta) {
  const int idBytes = b.Get(iref.Content, 1) == 0 ? 2 : 4;
  for (const TBox& reference : Children(b, iref.Content + 4, iref.End)) {
    if (reference.Type != FourCC("dimg")) continue;
    const auto from = std::uint32_t(b.Get(reference.Content, idBytes));
    const std::uint64_t count = b.Get(reference.Content + std::size_t(idBytes), 2);
    std::vector<std::uint32_t>& to = meta.Tiles[from];
    for (std::uint64_t i = 0; i < count; ++i)
      to.push_back(std::uint32_t(b.Get(reference.Content + std::size_t(idBytes) + 2 + std::size_t(i) * std::size_t(idBytes), idBytes)));
  }
}

void ReadSizes(const TBytes& b, const TBox& iprp, TMeta& meta) {
  std::vector<TBox> properties;
  const std::vector<TBox> inIprp = Children(b, iprp.Content, iprp.End);
  for (const TBox& box : inIprp)
    if (box.Type == FourCC("ipco")) properties = Children(b, box.Content, box.End);
  for (const TBox& ipma : inIprp) {
    if (ipma.Type != FourCC("ipma")) continue;
    const int version = int(b.Get(ipma.Content, 1));
    const bool wide = (b.Get(ipma.Content + 3, 1) & 1) != 0;
    const int idBytes = version < 1 ? 2 : 4;
    std::size_t p = ipma.Content + 4;
    const std::uint64_t entries = b.Get(p, 4);
    p += 4;
    for (std::uint64_t e = 0; e < entries; ++e) {
      const auto item = std::uint32_t(b.Get(p, idBytes));
      p += std::size_t(idBytes);
      const std::uint64_t count = b.Get(p, 1);
      p += 1;
      for (std::uint64_t a = 0; a < count; ++a) {
        const std::uint64_t index = wide ? b.Get(p, 2) & 0x7FFF : b.Get(p, 1) & 0x7F;
        p += wide ? 2 : 1;
        if (index == 0 || index > properties.size()) continue;
        const TBox& property = properties[std::size_t(index - 1)];
        if (property.Type != FourCC("ispe")) continue;
        meta.Sizes[item] = {std::uint32_t(b.Get(property.Content + 4, 4)), std::uint32_t(b.Get(property.Content + 8, 4))};
      }
    }
  }
}

// The first bytes of an item's data, at most `most`.
std::vector<std::uint8_t> ItemBytes(TStream& stream, std::int64_t start, std::int64_t size, const TBytes& b,
                                    const TMeta& meta, const TLocation& location, std::size_t most) {
  std::vector<std::uint8_t> bytes;
  for (const TExtent& extent : location.Extents) {
    const std::size_t want = std::size_t(std::min<std::uint64_t>(extent.Length == 0 ? most : extent.Length, most - bytes.size()));
    if (location.Method == 1) {
      if (extent.Offset > meta.Idat.End - meta.Idat.Content || want > meta.Idat.End - meta.Idat.Content - extent.Offset) Damaged();
      const std::uint8_t* from = b.At(meta.Idat.Content + std::size_t(extent.Offset));
      bytes.insert(bytes.end(), from, from + want);
    } else if (location.Method == 0) {
      if (extent.Offset > std::uint64_t(size) || want > std::uint64_t(size) - extent.Offset) Damaged();
      stream.SetPosition(start + std::int64_t(extent.Offset));
      const std::size_t at = bytes.size();
      bytes.resize(at + want);
      stream.ReadBuffer(bytes.data() + at, want);
    } else {
      Damaged();
    }
    if (bytes.size() >= most) break;
  }
  return bytes;
}

}  // namespace

namespace {

void ReadLayout(TStream& stream, std::int64_t start, std::int64_t size, THeifLayout& layout) {
  const TBytes b = ReadMeta(stream, start, size, layout);
  TMeta meta;
  bool primaryFound = false;
  for (const TBox& box : Children(b, 4, b.Size())) {
    if (box.Type == FourCC("pitm")) {
      meta.Primary = std::uint32_t(b.Get(box.Content + 4, b.Get(box.Content, 1) == 0 ? 2 : 4));
      primaryFound = true;
    } else if (box.Type == FourCC("iinf")) {
      ReadItemInfos(b, box, meta, layout);
    } else if (box.Type == FourCC("iloc")) {
      ReadLocations(b, box, meta, layout);
    } else if (box.Type == FourCC("iref")) {
      ReadReferences(b, box, meta);
    } else if (box.Type == FourCC("iprp")) {
      ReadSizes(b, box, meta);
    } else if (box.Type == FourCC("idat")) {
      meta.Idat = box;
    }
  }
  const auto declared = meta.Sizes.find(meta.Primary);
  if (!primaryFound || declared == meta.Sizes.end()) Damaged();
  layout.DeclaredWidth = declared->second.first;
  layout.DeclaredHeight = declared->second.second;
  const auto type = meta.ItemTypes.find(meta.Primary);
  if (type == meta.ItemTypes.end() || type->second != FourCC("grid")) return;
  layout.Grid = true;

  const auto location = meta.Locations.find(meta.Primary);
  if (location == meta.Locations.end()) Damaged();
  const std::vector<std::uint8_t> d = ItemBytes(stream, start, size, b, meta, location->second, 12);
  if (d.size() < 8 || d[0] != 0) Damaged();
  const bool wide = (d[1] & 1) != 0;
  if (wide && d.size() < 12) Damaged();
  const auto field = [&](std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | d[at + std::size_t(i)];
    return v;
  };
  layout.Rows = d[2] + 1;
  layout.Columns = d[3] + 1;
  layout.OutputWidth = wide ? field(4, 4) : field(4, 2);
  layout.OutputHeight = wide ? field(8, 4) : field(6, 2);

  const auto tiles = meta.Tiles.find(meta.Primary);
  if (tiles == meta.Tiles.end() || tiles->second.empty()) Damaged();
  layout.Tiles = tiles->second.size();
  for (std::uint32_t tile : tiles->second) {
    const auto tileSize = meta.Sizes.find(tile);
    if (tileSize == meta.Sizes.end()) Damaged();
    if (layout.TileWidth == 0 && layout.TileHeight == 0) {
      layout.TileWidth = tileSize->second.first;
      layout.TileHeight = tileSize->second.second;
    } else if (tileSize->second != std::make_pair(layout.TileWidth, layout.TileHeight)) {
      Damaged();
    }
  }
}

}  // namespace

THeifLayout ReadHeifLayout(TStream& stream, std::int64_t start, std::int64_t size) {
  THeifLayout layout;
  try {
    ReadLayout(stream, start, size, layout);
    layout.Readable = true;
  } catch (const std::exception&) {
    layout.Readable = false;
  }
  return layout;
}

std::size_t MostHeifItems(std::uint32_t width, std::uint32_t height) {
  return std::size_t(2 * (std::uint64_t(width) * height / (128 * 128)) + 64);
}

void CheckHeifLayout(const THeifLayout& layout) {
  if (layout.MetaBytes > MostMetaBytes) throw EInvalidGraphic(SPictureNotSupported);
  // The declared picture beyond the image limit, whatever else is wrong with the file.
  constexpr std::uint32_t MostSide = 0x7FFFFFFF;
  if (layout.DeclaredWidth > MostSide || layout.DeclaredHeight > MostSide) throw EOutOfResources(SImageTooLarge);
  CheckImageSize(int(layout.DeclaredWidth), int(layout.DeclaredHeight), 32);
  if (layout.Items > MostHeifItems(layout.DeclaredWidth, layout.DeclaredHeight)) Damaged();
  if (!layout.Grid) return;
  if (layout.Tiles != std::size_t(layout.Rows) * std::size_t(layout.Columns)) Damaged();
  if (layout.OutputWidth != layout.DeclaredWidth || layout.OutputHeight != layout.DeclaredHeight) Damaged();
  // The tiles cover the output, and no whole column or row of them lies beyond it.
  const auto covers = [](std::uint64_t tile, std::uint64_t count, std::uint64_t output) {
    return tile > 0 && output > 0 && tile * count >= output && tile * (count - 1) < output;
  };
  if (!covers(layout.TileWidth, std::uint64_t(layout.Columns), layout.OutputWidth) ||
      !covers(layout.TileHeight, std::uint64_t(layout.Rows), layout.OutputHeight)) {
    Damaged();
  }
  // With two or more tiles a way, what they cover is less than twice the output that way; a single
  // tile may be far larger than a small output, which encoders pad to their block size.
  const std::uint64_t tiles = std::uint64_t(layout.TileWidth) * layout.TileHeight * std::uint64_t(layout.Rows) * std::uint64_t(layout.Columns);
  if (tiles > 4 * std::uint64_t(layout.OutputWidth) * layout.OutputHeight + MostSpareTilePixels) Damaged();
}
