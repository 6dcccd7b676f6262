// Fuzz target: the binary values of calendar and contact items taken from arbitrary bytes (a
// recurrence pattern, a time zone, distribution list members) and written as iCalendar and
// vCard, as a save of a damaged file would.
#include <cstddef>
#include <cstdint>

#include "message/calendar_time.h"
#include "message/dist_list.h"
#include "message/item_properties.h"
#include "message/recurrence.h"
#include "writers/ics/ics_writer.h"
#include "writers/vcf/vcard_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const brevik::ByteView input(data, size);
    brevik::AppointmentFields a;
    a.subject = "fuzz";
    a.start = 132000000000000000ull;
    a.end = a.start;
    a.recurrence = brevik::parseRecurrence(input);
    if (a.recurrence) (void)brevik::describeRecurrence(*a.recurrence);
    if (size >= 48) a.timeZone = brevik::parseTimeZoneStruct(input.subspan(size - 48));
    brevik::ics::CalendarFile calendar;
    calendar.addAppointment(a, "fuzz");
    (void)calendar.text();

    brevik::DistListFields list;
    for (const brevik::Bytes& member : brevik::splitMultiValue(brevik::Bytes(data, data + size)))
        if (auto m = brevik::parseOneOffEntryId(member)) list.members.push_back(*m);
    (void)brevik::vcf::listCard(list, "fuzz", 1);
    return 0;
}
