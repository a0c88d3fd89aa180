#include "tests/support/heif_builder.h"

#include <cstring>
#include <stdexcept>

namespace {

using TBytes = std::vector<std::uint8_t>;

std::uint64_t Get(const TBytes& b, std::size_t at, int bytes) {
  if (at + std::size_t(bytes) > b.size()) throw std::runtime_error("HEIF file cut short");
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | b[at + std::size_t(i)];
  return v;
}

struct TBox {
  std::string Type;
  std::size_t At = 0, Content = 0, End = 0;
};

std::vector<TBox> Children(const TBytes& b, std::size_t begin, std::size_t end) {
  std::vector<TBox> boxes;
  for (std::size_t at = begin; at + 8 <= end;) {
    const std::size_t size = std::size_t(Get(b, at, 4));
    if (size < 8 || at + size > end) throw std::runtime_error("bad box size");
    boxes.push_back({std::string(reinterpret_cast<const char*>(&b[at + 4]), 4), at, at + 8, at + size});
    at += size;
  }
  return boxes;
}

TBox Find(const std::vector<TBox>& boxes, const std::string& type) {
  for (const TBox& box : boxes)
    if (box.Type == type) return box;
  throw std::runtime_error("no " + type + " box");
}

void Put(TBytes& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}

void PutType(TBytes& out, const std::string& type) { out.insert(out.end(), type.begin(), type.end()); }

// A box of `type` around `content`; a full box gets its version and flags first.
TBytes Box(const std::string& type, const TBytes& content) {
  TBytes out;
  Put(out, content.size() + 8, 4);
  PutType(out, type);
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

TBytes FullBox(const std::string& type, int version, std::uint32_t flags, const TBytes& content) {
  TBytes inner;
  Put(inner, std::uint32_t(version) << 24 | flags, 4);
  inner.insert(inner.end(), content.begin(), content.end());
  return Box(type, inner);
}

TBytes Join(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TBytes Ispe(std::uint32_t width, std::uint32_t height) {
  TBytes c;
  Put(c, width, 4);
  Put(c, height, 4);
  return FullBox("ispe", 0, 0, c);
}

}  // namespace

THeifCodedPicture PrimaryCodedPicture(const TBytes& file) {
  const TBox meta = Find(Children(file, 0, file.size()), "meta");
  const auto inMeta = Children(file, meta.Content + 4, meta.End);
  const std::uint64_t primary = Get(file, Find(inMeta, "pitm").Content + 4, 2);
  THeifCodedPicture picture;
  // The item's type from its infe (version 2).
  const TBox iinf = Find(inMeta, "iinf");
  const int iinfVersion = file[iinf.Content];
  for (const TBox& infe : Children(file, iinf.Content + (iinfVersion == 0 ? 6 : 8), iinf.End))
    if (Get(file, infe.Content + 4, 2) == primary) picture.Type = std::string(reinterpret_cast<const char*>(&file[infe.Content + 8]), 4);
  // Its properties: the codec's configuration and its size.
  const TBox iprp = Find(inMeta, "iprp");
  const auto inIprp = Children(file, iprp.Content, iprp.End);
  const auto properties = Children(file, Find(inIprp, "ipco").Content, Find(inIprp, "ipco").End);
  const TBox ipma = Find(inIprp, "ipma");
  const bool wide = file[ipma.Content + 3] & 1;
  const int ipmaVersion = file[ipma.Content];
  std::size_t p = ipma.Content + 4;
  const std::uint64_t entries = Get(file, p, 4);
  p += 4;
  for (std::uint64_t e = 0; e < entries; ++e) {
    const int idBytes = ipmaVersion < 1 ? 2 : 4;
    const std::uint64_t item = Get(file, p, idBytes);
    p += std::size_t(idBytes);
    const int count = file.at(p++);
    for (int a = 0; a < count; ++a) {
      const std::uint64_t index = wide ? Get(file, p, 2) & 0x7FFF : Get(file, p, 1) & 0x7F;
      p += wide ? 2 : 1;
      if (item != primary || index == 0 || index > properties.size()) continue;
      const TBox& property = properties[index - 1];
      if (property.Type == "hvcC" || property.Type == "av1C") picture.Config.assign(file.begin() + std::ptrdiff_t(property.At), file.begin() + std::ptrdiff_t(property.End));
      if (property.Type == "ispe") {
        picture.Width = std::uint32_t(Get(file, property.Content + 4, 4));
        picture.Height = std::uint32_t(Get(file, property.Content + 8, 4));
      }
    }
  }
  // Its data: the extents iloc gives it in the file (construction method 0).
  const TBox iloc = Find(inMeta, "iloc");
  const int version = file[iloc.Content];
  const int offsetSize = file[iloc.Content + 4] >> 4, lengthSize = file[iloc.Content + 4] & 15;
  const int baseSize = file[iloc.Content + 5] >> 4, indexSize = version >= 1 ? file[iloc.Content + 5] & 15 : 0;
  p = iloc.Content + 6;
  const std::uint64_t items = Get(file, p, version < 2 ? 2 : 4);
  p += version < 2 ? 2 : 4;
  for (std::uint64_t i = 0; i < items; ++i) {
    const std::uint64_t item = Get(file, p, version < 2 ? 2 : 4);
    p += version < 2 ? 2 : 4;
    p += (version >= 1 ? 2 : 0) + 2;
    const std::uint64_t base = baseSize ? Get(file, p, baseSize) : 0;
    p += std::size_t(baseSize);
    const std::uint64_t extents = Get(file, p, 2);
    p += 2;
    for (std::uint64_t e = 0; e < extents; ++e) {
      p += std::size_t(indexSize);
      const std::uint64_t offset = base + (offsetSize ? Get(file, p, offsetSize) : 0);
      p += std::size_t(offsetSize);
      const std::uint64_t length = Get(file, p, lengthSize);
      p += std::size_t(lengthSize);
      if (item == primary) picture.Data.insert(picture.Data.end(), file.begin() + std::ptrdiff_t(offset), file.begin() + std::ptrdiff_t(offset + length));
    }
  }
  if (picture.Type.empty() || picture.Config.empty() || picture.Data.empty() || picture.Width == 0)
    throw std::runtime_error("no coded primary picture");
  return picture;
}

THeifGrid PlainGrid(const THeifCodedPicture& tile, int rows, int columns) {
  THeifGrid grid;
  grid.TileItems = rows * columns;
  for (int i = 0; i < rows * columns; ++i) grid.References.push_back(i);
  grid.Rows = rows;
  grid.Columns = columns;
  grid.OutputWidth = grid.DeclaredWidth = tile.Width * std::uint32_t(columns);
  grid.OutputHeight = grid.DeclaredHeight = tile.Height * std::uint32_t(rows);
  return grid;
}

TBytes HeifGridFile(const THeifCodedPicture& tile, const THeifGrid& grid) {
  const bool av1 = tile.Type == "av01";
  const std::uint32_t gridId = 1;  // tiles are items 2, 3, ...
  TBytes descriptor = {0, 1, std::uint8_t(grid.Rows - 1), std::uint8_t(grid.Columns - 1)};
  Put(descriptor, grid.OutputWidth, 4);
  Put(descriptor, grid.OutputHeight, 4);

  // iloc version 1, 4-byte offsets and lengths: the grid's descriptor, then every tile's data, all
  // tiles at the same place in the media data.
  const auto buildMeta = [&](std::uint64_t mediaData) {
    TBytes iloc = {0x44, 0x00};
    Put(iloc, std::uint64_t(grid.TileItems) + 1, 2);
    const auto location = [&](std::uint32_t item, std::uint64_t offset, std::uint64_t length) {
      Put(iloc, item, 2);
      Put(iloc, 0, 2);  // construction method 0: the file
      Put(iloc, 0, 2);  // data reference: this file
      Put(iloc, 1, 2);  // one extent
      Put(iloc, offset, 4);
      Put(iloc, length, 4);
    };
    location(gridId, mediaData, descriptor.size());
    for (int t = 0; t < grid.TileItems; ++t) location(gridId + 1 + std::uint32_t(t), mediaData + descriptor.size(), tile.Data.size());

    TBytes infos;
    Put(infos, std::uint64_t(grid.TileItems) + 1, 2);
    const auto info = [&](std::uint32_t item, const std::string& type, std::uint32_t flags) {
      TBytes c;
      Put(c, item, 2);
      Put(c, 0, 2);
      PutType(c, type);
      c.push_back(0);  // no name
      const TBytes infe = FullBox("infe", 2, flags, c);
      infos.insert(infos.end(), infe.begin(), infe.end());
    };
    info(gridId, "grid", 0);
    for (int t = 0; t < grid.TileItems; ++t) info(gridId + 1 + std::uint32_t(t), tile.Type, 1);  // hidden

    TBytes dimg;
    Put(dimg, gridId, 2);
    Put(dimg, grid.References.size(), 2);
    for (int r : grid.References) Put(dimg, gridId + 1 + std::uint32_t(r), 2);

    // Properties: 1 the codec's configuration, 2 the tiles' size, 3 the grid's declared size.
    const TBytes ipco = Box("ipco", Join({tile.Config, Ispe(tile.Width, tile.Height), Ispe(grid.DeclaredWidth, grid.DeclaredHeight)}));
    TBytes associations;
    Put(associations, std::uint64_t(grid.TileItems) + 1, 4);
    Put(associations, gridId, 2);
    associations.insert(associations.end(), {1, 3});
    for (int t = 0; t < grid.TileItems; ++t) {
      Put(associations, gridId + 1 + std::uint32_t(t), 2);
      associations.insert(associations.end(), {2, 0x81, 2});
    }
    TBytes hdlr(4, 0);
    PutType(hdlr, "pict");
    hdlr.resize(hdlr.size() + 13, 0);
    TBytes pitm;
    Put(pitm, gridId, 2);
    return FullBox("meta", 0, 0,
                   Join({FullBox("hdlr", 0, 0, hdlr), FullBox("pitm", 0, 0, pitm), FullBox("iloc", 1, 0, iloc),
                         FullBox("iinf", 0, 0, infos), FullBox("iref", 0, 0, Box("dimg", dimg)),
                         Box("iprp", Join({ipco, FullBox("ipma", 0, 0, associations)}))}));
  };
  TBytes ftyp;
  PutType(ftyp, av1 ? "avif" : "heic");
  Put(ftyp, 0, 4);
  for (const char* brand : {"mif1", av1 ? "avif" : "heic", "miaf"}) PutType(ftyp, brand);
  ftyp = Box("ftyp", ftyp);
  const std::uint64_t metaSize = buildMeta(0).size();
  const TBytes meta = buildMeta(ftyp.size() + metaSize + 8);
  return Join({ftyp, meta, Box("mdat", Join({descriptor, tile.Data}))});
}
