#include "reports/report_session.h"

#include "session/inventory_session.h"

InsuranceValues insuranceValues(const ReportSettings& s) {
    InsuranceValues v;
    v.company = s.insuranceCompany;
    v.printCompany = s.printInsuranceCompany;
    v.policyNumber = s.policyNumber;
    v.printPolicyNumber = s.printPolicyNumber;
    v.yourName = s.yourName;
    v.printStatement = s.printStatement;
    return v;
}

ReportSource reportSource(InventorySession& session) {
    ReportSource source;
    source.items = &session.items;
    source.sortKeys = session.db.sortKeys;
    for (std::size_t i = 0; i < source.captions.size() && i < session.db.fieldNames.size(); ++i)
        source.captions[i] = session.db.fieldNames[i];
    source.numbers = session.numbers;
    source.dateFormat = session.formats.current();
    source.insurance = insuranceValues(session.db.reports);
    source.today = QDate::currentDate();
    return source;
}
