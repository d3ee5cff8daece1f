#include "tools/fake_site/roster_page.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "common/code_page.h"

namespace koravel::tools {

namespace {

// splitmix64: the same numbers on every platform, unlike the std distributions.
class Random final {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

private:
    std::uint64_t m_state;
};

// Word lists in UTF-8 for readability; pages carry them in Windows-1251.
constexpr std::array<std::string_view, 18> kClubs = {
    "Торпедо", "Спартак", "Динамо", "Заря",        "Металлург", "Локомотив",
    "Звезда",  "Сокол",   "Химик",  "Текстильщик", "Шахтёр",    "Волга",
    "Урал",    "Енисей",  "Факел",  "Ротор",       "Кристалл",  "Авангард"};
constexpr std::array<std::string_view, 13> kCities = {
    "Москва",   "Тула",     "Самара", "Пермь", "Омск",   "Казань", "Рязань",
    "Кострома", "Владимир", "Киров",  "Орёл",  "Брянск", "Липецк"};
constexpr std::array<std::string_view, 12> kFirstNames = {"Иван",   "Пётр",   "Алексей", "Дмитрий",
                                                          "Сергей", "Никита", "Артём",   "Егор",
                                                          "Максим", "Кирилл", "Олег",    "Юрий"};
constexpr std::array<std::string_view, 12> kLastNames = {"Петров",  "Смирнов", "Кузнецов", "Волков",
                                                         "Зайцев",  "Соколов", "Лебедев",  "Козлов",
                                                         "Новиков", "Морозов", "Фёдоров",  "Ёлкин"};
constexpr std::array<std::string_view, 4> kPositions = {"ВР", "ЗЩ", "ПЗ", "НП"};
// Low talents are the common ones.
constexpr std::array<std::string_view, 12> kTalents = {"0.5", "0.5",  "0.75", "0.75", "0.75", "1",
                                                       "1",   "1.25", "1.5",  "1.75", "2.25", "3"};

std::string Cp(std::string_view utf8) { return common::Utf8ToCp1251(utf8); }

std::string PlayerRow(const PlayerSpec& player, std::int32_t teamId, std::size_t index) {
    Random random(static_cast<std::uint64_t>(teamId) * 1000003ULL + index);
    const auto playerId = 100000 + random.below(900000);
    const bool odd = index % 2 != 0;
    std::string row;
    row +=
        odd ? R"(<tr class="odd" onmouseover="this.className='hl'" onmouseout="this.className='odd'">)"
            : R"(<tr class="even" onmouseover="this.className='hl'" onmouseout="this.className='even'">)";
    row += "\n<td class=\"name\" align=\"left\"><a href=\"info.php?id=" + std::to_string(playerId) +
           "\" target=\"_blank\" title=\"" + Cp("Карточка игрока") + "\">" +
           Cp(random.pick(kFirstNames)) + " " + Cp(random.pick(kLastNames)) + "</a></td>\n";
    row += "<td><center>" + Cp(random.pick(kPositions)) + "</td>\n";
    row += R"(<td><center><img src="/img/flags/rus.gif" width="18" height="12" alt="RUS"></td>)";
    row += "\n<td><center>" + player.age + "</td>\n";
    row += "<td><center>" + std::to_string(165 + random.below(30)) + "</td>\n";
    row += "<td><center>" + std::to_string(60 + random.below(30)) + "</td>\n";
    row += "<td><center><b>" + std::to_string(20 + random.below(60)) + "</td>\n";
    row += "<td><center><b>" + player.talent + "</td>\n";
    row += "<td><center>" + std::to_string(random.below(100)) + "%</td>\n";
    row += R"(<td><center><span class="form">)" + std::to_string(80 + random.below(40)) +
           "</span></td>\n";
    row += R"(<td align="right" class="money">)" + std::to_string(1 + random.below(99)) +
           " 000</td>\n</tr>\n";
    return row;
}

PlayerSpec RandomPlayer(Random& random) {
    return {std::to_string(15 + random.below(5)), std::string(random.pick(kTalents))};
}

}  // namespace

std::string MakeRosterPage(const PageSpec& team) {
    const std::string id = std::to_string(team.teamId);
    std::string page;
    page +=
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1251\">\n<title>" +
        Cp("Спортшкола") + "</title>\n<link rel=\"stylesheet\" href=\"/css/main.css\">\n" +
        "</head>\n<body>\n";
    page += "<table class=\"team\" width=\"100%\"><tr><td><a href=\"roster.php?id=" + id +
            "\" name=\"Team\" class=\"teamname\">" + team.teamName + "</a></td></tr></table>\n";
    page += "<form method=\"post\" action=\"roster.php?id=" + id + "\">\n";
    page += "<input type=\"hidden\" name=\"Players\" value=\"" + team.players + "\"/>\n";
    page += "<input type=\"hidden\" name=\"CoSP\" value=\"" + team.cosp + "\"/>\n</form>\n";
    page += "<table class=\"roster\" cellpadding=\"2\">\n<tr><th>" + Cp("Игрок") + "</th><th>" +
            Cp("Поз") + "</th><th>" + Cp("Нац") + "</th><th>" + Cp("Возр") + "</th><th>" +
            Cp("Рост") + "</th><th>" + Cp("Вес") + "</th><th>" + Cp("Сила") + "</th><th>" +
            Cp("Тал") + "</th><th>" + Cp("Опыт") + "</th><th>" + Cp("Зарплата") + "</th></tr>\n";
    for (std::size_t k = 0; k < team.roster.size(); ++k)
        page += PlayerRow(team.roster[k], team.teamId, k);
    page += "</table>\n</body>\n</html>\n";
    return page;
}

PageSpec DemoTeam(std::int32_t teamId) {
    Random random(static_cast<std::uint64_t>(static_cast<std::uint32_t>(teamId)) ^
                  0x4B6F726176656CULL);
    const std::string club = Cp(random.pick(kClubs));
    const std::string city = Cp(random.pick(kCities));
    PageSpec team;
    team.teamId = teamId;
    switch (random.below(4)) {
        case 0:
            team.teamName = club + " " + city;
            break;
        case 1:
            team.teamName = Cp("ФК ") + club;
            break;
        case 2:
            team.teamName = club + "-" + std::to_string(2 + random.below(2)) + " " + city;
            break;
        default:
            team.teamName = club;
            break;
    }
    const int size = 15 + random.below(16);
    for (int k = 0; k < size; ++k) team.roster.push_back(RandomPlayer(random));
    team.players = std::to_string(size);
    const int cosp = random.below(20);
    team.cosp = random.below(6) == 0 ? " 0 " : std::to_string(cosp);
    return team;
}

std::string SizedPage(std::size_t approxBytes, std::uint32_t seed) {
    Random random(seed);
    // Built whole: assigning short literals trips a false -Wrestrict in GCC 12.
    PageSpec team{.teamName = Cp(random.pick(kClubs)),
                  .players = "25",
                  .cosp = "7",
                  .roster = {},
                  .teamId = static_cast<std::int32_t>(seed & 0x7FFFFFFF)};
    const std::size_t bare = MakeRosterPage(team).size();
    constexpr std::size_t kSample = 16;
    PageSpec sample = team;
    sample.roster.assign(kSample, PlayerSpec{"17", "1.25"});
    const std::size_t rowBytes = (MakeRosterPage(sample).size() - bare) / kSample;
    const std::size_t rows = approxBytes > bare ? (approxBytes - bare) / rowBytes : 0;
    for (std::size_t k = 0; k < std::max<std::size_t>(rows, 1); ++k)
        team.roster.push_back(RandomPlayer(random));
    return MakeRosterPage(team);
}

}  // namespace koravel::tools
