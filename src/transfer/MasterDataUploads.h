#pragma once
// Uploads of the shop's own master data from the table files in the
// program folder: countries, shipping methods and costs, news, FAQ,
// newsletter addresses.

#include <QString>

namespace mv {

class TransferContext;

// One file into one shop table with WriteRecords; a missing file does
// nothing (not even the delete of a complete transfer).
void UploadTableFile(TransferContext &ctx, const QString &fileName, const QString &table,
                     const QString &keyField, const QString &pictureField,
                     const QString &filter = QString());

void TransferCountries(TransferContext &ctx);
void TransferShippingMethods(TransferContext &ctx);
void TransferShippingCosts(TransferContext &ctx);
void TransferNews(TransferContext &ctx);
void TransferFaq(TransferContext &ctx);
void TransferNewsletter(TransferContext &ctx);

} // namespace mv
