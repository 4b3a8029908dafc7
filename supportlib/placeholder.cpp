namespace NS_Support {}
